DECLARE @d decimal(10,0) = 10, @m money = 5
SELECT @d / 4, @m % 3, Qty / 2.50, -t.Qty % (Qty - 1), CAST(Qty AS numeric(8,2)) / CONVERT(money, 3) / 7 FROM dbo.T t
SELECT SUM(Qty) / COUNT(*), MAX(CAST(ID AS decimal(38,10))) / CAST(3 AS decimal(38,10)), 1.0 / 3, 7 / -2 FROM T
UPDATE T SET Qty = Qty / 3.0 WHERE ID / 2 = 1
