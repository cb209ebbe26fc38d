SELECT DATENAME(month, GETDATE()), DATENAME(dw, '2024-03-05'), EOMONTH('2024-02-10', -1), STUFF(Name, 2, 3, N'xyz'), STR(Qty, 6, 2), PATINDEX('%[^a-z]%', Name) FROM T
SELECT DATALENGTH(Name), DATALENGTH(N'ab'), DATALENGTH(CAST(ID AS smallint)), DATALENGTH(t.Qty) FROM T t
SELECT FORMAT(Qty, 'N2'), FORMAT(ID, 'D5'), FORMAT(0.25, 'P'), FORMAT(Qty, '#,##0.00'), FORMAT(GETDATE(), 'dddd, MMMM dd, yyyy hh:mm:ss tt', 'en-US'), FORMAT(1, 'C')
