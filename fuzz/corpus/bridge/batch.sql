DECLARE @n int = 1, @s nvarchar(10) = N'x' + 'y', @d decimal(5,2)
SET @n += 2 SET @s = @s + CAST(@n AS varchar(3))
SELECT @d = SUM(Qty) / 2 FROM dbo.T WITH (NOLOCK) WHERE Name LIKE '[a-c]%'
IF @@ROWCOUNT = 0 BEGIN BEGIN TRAN SAVE TRAN s INSERT T (Name) VALUES (@s) ROLLBACK TRAN s COMMIT END
ELSE IF OBJECT_ID('tempdb..#w') IS NULL CREATE TABLE #w (a int)
SELECT TOP (5) a + 1, 'p' + Name FROM #w JOIN T ON 1 = 1 ORDER BY a OFFSET 2 ROWS FETCH NEXT 3 ROWS ONLY
SELECT DATEADD(mm, -1, CONVERT(date, '20240331')), DATEDIFF(wk, '2024-01-01', GETDATE()), DATEPART(dw, d), ISDATE(x), CAST(x AS decimal(10,3)) FROM #w
