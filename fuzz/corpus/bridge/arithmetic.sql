DECLARE @d decimal(10,0) = 10, @m money = 5
SELECT @d / 4, @m % 3, Qty / 2.50, -t.Qty % (Qty - 1), CAST(Qty AS numeric(8,2)) / CONVERT(money, 3) / 7 FROM dbo.T t
SELECT SUM(Qty) / COUNT(*), MAX(CAST(ID AS decimal(38,10))) / CAST(3 AS decimal(38,10)), 1.0 / 3, 7 / -2 FROM T
UPDATE T SET Qty = Qty / 3.0 WHERE ID / 2 = 1
SELECT Total / 4, p.Price / (SELECT MAX(Qty) FROM P) % 3, AVG(Fee), AVG(DISTINCT Price) / 2, DATALENGTH(p.Total), DATALENGTH(Tag) FROM P p JOIN T ON T.Qty = p.Qty
INSERT INTO P (Price, Code) SELECT Qty, Name FROM T
UPDATE p SET Code = t.Name, Fee = Fee / 3 FROM P p LEFT JOIN T t ON t.ID = p.Qty WHERE t.ID IS NULL
UPDATE T SET Qty = Qty + 2147483600 - ID WHERE ID + 1 > Qty - 999999999 + 5
SELECT ~(B), ~ISNULL(B, 0), ~~B FROM T
