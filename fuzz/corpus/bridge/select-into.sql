SELECT * INTO #Copy FROM T WHERE ID > 0
SELECT t.ID, u.Name, u.Name + 'x' AS Tagged INTO J FROM T t JOIN T u ON u.ID = t.ID
SELECT IDENT_CURRENT('T'), IDENT_SEED('dbo.T'), IDENT_INCR('#Copy'), IDENT_CURRENT(Name) FROM T
SELECT n.I FROM N AS n JOIN M m ON m.K = n.C WHERE m.K = 'x' AND n.I = '5' AND 'x1' < n.I
