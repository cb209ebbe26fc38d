CREATE TABLE docs (id int, v varbinary(max), i image, b binary(4), s varchar(10), n nvarchar(10))
INSERT INTO docs (id, v, i) VALUES (1, CONVERT(varbinary(max), 'hello'), CAST(N'hi' AS varbinary))
INSERT INTO docs (id, b) VALUES (2, CAST(123456 AS binary(4))), (3, CONVERT(binary(4), '0x0A0B', 1))
UPDATE docs SET v = CAST(s AS varbinary(2)), i = CONVERT(image, n) WHERE TRY_CONVERT(varbinary(4), '0A0', 2) IS NULL
SELECT name FROM sysobjects WHERE name = 'docs  ' AND id = (SELECT id FROM sysobjects WHERE name = 'DOCS ')
