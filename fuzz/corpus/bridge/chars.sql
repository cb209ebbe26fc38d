CREATE TABLE #c (Code char(5) PRIMARY KEY, Name nchar(4), V varchar(5))
INSERT INTO #c VALUES ('ab', N'x', 'ab'), (7, NULL, NULL)
INSERT INTO #c (Code, Name) SELECT Name, Name FROM T
SELECT LEN(Code), DATALENGTH(Code), CAST('a' AS char(3)) + ']', CONVERT(nchar(2), N'abc') FROM #c
