SELECT name, dbo.LEN(a), T.ISNULL(b) FROM arch.dbo.sysobjects where xtype='U' /* 'db.dbo.T' */;
SELECT 'it''s', N'Grüße'N'x', [a]]b], "q""r", `s` FROM dbo.T -- x
; ALTER TABLE [other].[dbo].[T] ADD [x] int