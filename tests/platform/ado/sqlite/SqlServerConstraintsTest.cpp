// Constraint violations as SQL Server reports them: each kind's text and number (@@ERROR
// after the failed batch), the constraint's declared or generated name, the statement's verb,
// and the rule that NULLs of a unique key equal each other.
#include "SqlServerScriptSupport.h"

#include "platform/ado/sqlite/SqlServerConstraints.h"

namespace {

std::wstring Conflict(const std::wstring& strVerb, const std::wstring& strKind,
                      const std::wstring& strName, const std::wstring& strTable,
                      const std::wstring& strColumn) {
    return L"The " + strVerb + L" statement conflicted with the " + strKind + L" constraint \"" +
           strName + L"\". The conflict occurred in database \"Shop\", table \"dbo." + strTable +
           L"\"" + (strColumn.empty() ? L"." : L", column '" + strColumn + L"'.");
}

} // namespace

TEST_F(SqlServerScript, DuplicateKeysNameTheirConstraintOrIndex) {
    RunScript(
        m_pConn,
        {
            {L"CREATE TABLE Dept (ID int CONSTRAINT [PK_Dept] PRIMARY KEY, Code char(4) UNIQUE, "
             L"Name varchar(20), Floor int, Phone int, CONSTRAINT UQ_Dept_Name UNIQUE (Name, "
             L"Floor))"},
            {L"CREATE UNIQUE INDEX IX_Dept_Phone ON Dept (Phone)"},
            {L"INSERT INTO Dept VALUES (1, 'ab', 'x', 1, 10)"},
            Fails(L"INSERT INTO Dept VALUES (1, 'cd', 'y', 2, 20)",
                  L"Violation of PRIMARY KEY constraint 'PK_Dept'. Cannot insert duplicate key "
                  L"in object 'dbo.Dept'. The duplicate key value is (1)."),
            {L"SELECT @@ERROR", {{L"2627"}}},
            // No declared name: SQL Server's pattern, the same each time. A char column's
            // value is not shown: SQL Server shows it padded or not as the setting says.
            Fails(L"INSERT INTO Dept VALUES (2, 'AB', 'y', 2, 20)",
                  L"Violation of UNIQUE KEY constraint 'UQ__Dept__8ED0B76BB9AFA40A'. Cannot "
                  L"insert duplicate key in object 'dbo.Dept'."),
            Fails(L"UPDATE Dept SET Code = 'ab ' WHERE ID = 1; INSERT INTO Dept VALUES (2, "
                  L"'ab', 'y', 2, 20)",
                  L"Violation of UNIQUE KEY constraint 'UQ__Dept__8ED0B76BB9AFA40A'. Cannot "
                  L"insert duplicate key in object 'dbo.Dept'."),
            Fails(L"INSERT INTO Dept VALUES (3, 'ef', 'X', 1, 30)",
                  L"Violation of UNIQUE KEY constraint 'UQ_Dept_Name'. Cannot insert duplicate "
                  L"key in object 'dbo.Dept'. The duplicate key value is (X, 1)."),
            Fails(L"INSERT INTO Dept VALUES (3, 'ef', 'z', 1, 10)",
                  L"Cannot insert duplicate key row in object 'dbo.Dept' with unique index "
                  L"'IX_Dept_Phone'. The duplicate key value is (10)."),
            // Where the row is not the statement's own literals, the value is left out.
            Fails(L"INSERT INTO Dept SELECT 4, 'gh', 'w', 4, 10",
                  L"Cannot insert duplicate key row in object 'dbo.Dept' with unique index "
                  L"'IX_Dept_Phone'."),
            {L"SELECT @@ERROR", {{L"2601"}}},
            // Another owner's table is named with its owner.
            {L"CREATE TABLE sa.Acct (ID int PRIMARY KEY)"},
            Fails(L"INSERT INTO sa.Acct VALUES (5); INSERT INTO sa.Acct VALUES (5)",
                  L"Violation of PRIMARY KEY constraint 'PK__Acct__2B2ADAC21BABF8E5'. Cannot "
                  L"insert duplicate key in object 'sa.Acct'. The duplicate key value is (5)."),
            // SQLite's own definitions are named as SQL Server would name them.
            {L"CREATE TABLE Plain (id integer PRIMARY KEY, tag text)"},
            {L"INSERT INTO Plain VALUES (1, 'a')"},
            Fails(L"INSERT INTO Plain VALUES (1, 'b')",
                  L"Violation of PRIMARY KEY constraint 'PK__Plain__4F73E45009D90784'. Cannot "
                  L"insert duplicate key in object 'dbo.Plain'. The duplicate key value is (1)."),
        });
}

TEST_F(SqlServerScript, NullsChecksAndForeignKeysNameStatementAndColumn) {
    RunScript(
        m_pConn,
        {
            {L"CREATE TABLE Team (ID int PRIMARY KEY, Name varchar(10) NOT NULL)"},
            {L"CREATE TABLE Player (ID int PRIMARY KEY, Team int CONSTRAINT FK_Player_Team "
             L"REFERENCES Team (ID), Age int CHECK (Age >= 16), Rank int, Score int, "
             L"CONSTRAINT CK_Player_Order CHECK (Rank <= Score))"},
            {L"INSERT INTO Team VALUES (1, 'a')"},
            Fails(L"INSERT INTO Team VALUES (2, NULL)",
                  L"Cannot insert the value NULL into column 'Name', table 'Shop.dbo.Team'; "
                  L"column does not allow nulls. INSERT fails."),
            {L"SELECT @@ERROR", {{L"515"}}},
            Fails(L"UPDATE Team SET Name = NULL",
                  L"Cannot insert the value NULL into column 'Name', table 'Shop.dbo.Team'; "
                  L"column does not allow nulls. UPDATE fails."),
            Fails(L"INSERT INTO Player VALUES (1, 1, 15, 1, 2)",
                  Conflict(L"INSERT", L"CHECK", L"CK__Player__Age__DB02A68C", L"Player", L"Age")),
            {L"SELECT @@ERROR", {{L"547"}}},
            {L"INSERT INTO Player VALUES (1, 1, 16, 1, 2)"},
            // A constraint over two columns names none.
            Fails(L"UPDATE Player SET Rank = 3",
                  Conflict(L"UPDATE", L"CHECK", L"CK_Player_Order", L"Player", L"")),
            Fails(L"INSERT INTO Player VALUES (2, 9, 20, 1, 2)",
                  Conflict(L"INSERT", L"FOREIGN KEY", L"FK_Player_Team", L"Team", L"ID")),
            Fails(L"UPDATE Player SET Team = 9",
                  Conflict(L"UPDATE", L"FOREIGN KEY", L"FK_Player_Team", L"Team", L"ID")),
            Fails(L"DELETE FROM Team",
                  Conflict(L"DELETE", L"REFERENCE", L"FK_Player_Team", L"Player", L"Team")),
            Fails(L"UPDATE Team SET ID = 5",
                  Conflict(L"UPDATE", L"REFERENCE", L"FK_Player_Team", L"Player", L"Team")),
            {L"SELECT t.ID, p.ID, p.Team FROM Team t JOIN Player p ON p.Team = t.ID",
             {{L"1", L"1", L"1"}}},
        });
}

TEST_F(SqlServerScript, NullsOfUniqueKeysAreEqual) {
    RunScript(
        m_pConn,
        {
            {L"CREATE TABLE Slot (Room int, Day int, Tag varchar(5), CONSTRAINT UQ_Slot UNIQUE "
             L"(Room, Day))"},
            {L"CREATE UNIQUE INDEX IX_Slot_Tag ON Slot (Tag, Room)"},
            {L"INSERT INTO Slot VALUES (1, NULL, 'a'); INSERT INTO Slot VALUES (NULL, NULL, "
             L"'b'); INSERT INTO Slot VALUES (1, 2, NULL)"},
            // Keys with NULLs in other places, or other values, are other keys.
            {L"INSERT INTO Slot VALUES (NULL, 1, 'c'); INSERT INTO Slot VALUES (2, NULL, 'd')"},
            Fails(L"INSERT INTO Slot VALUES (1, NULL, 'e')",
                  L"Violation of UNIQUE KEY constraint 'UQ_Slot'. Cannot insert duplicate key in "
                  L"object 'dbo.Slot'. The duplicate key value is (1, <NULL>)."),
            Fails(L"INSERT INTO Slot VALUES (NULL, NULL, 'e')",
                  L"Violation of UNIQUE KEY constraint 'UQ_Slot'. Cannot insert duplicate key in "
                  L"object 'dbo.Slot'. The duplicate key value is (<NULL>, <NULL>)."),
            // The index compares text as the column's collation does.
            {L"INSERT INTO Slot VALUES (3, 3, NULL)"},
            Fails(L"INSERT INTO Slot VALUES (3, 4, NULL)",
                  L"Cannot insert duplicate key row in object 'dbo.Slot' with unique index "
                  L"'IX_Slot_Tag'. The duplicate key value is (<NULL>, 3)."),
            Fails(L"UPDATE Slot SET Tag = 'C' WHERE Tag = 'b'",
                  L"Cannot insert duplicate key row in object 'dbo.Slot' with unique index "
                  L"'IX_Slot_Tag'."),
            // A filtered index keeps the rule among the rows its filter takes.
            {L"CREATE TABLE Card (N int, Tag varchar(3), Active bit)"},
            {L"CREATE UNIQUE INDEX UX_Active ON Card (Tag) WHERE Active = 1"},
            {L"INSERT INTO Card VALUES (1, NULL, 1), (2, NULL, 0), (3, NULL, 0), (4, 'a', 1)"},
            Fails(L"INSERT INTO Card VALUES (5, NULL, 1)",
                  L"Cannot insert duplicate key row in object 'dbo.Card' with unique index "
                  L"'UX_Active'. The duplicate key value is (<NULL>)."),
            Fails(L"INSERT INTO Card VALUES (6, 'A', 1)",
                  L"Cannot insert duplicate key row in object 'dbo.Card' with unique index "
                  L"'UX_Active'. The duplicate key value is (A)."),
            // A key added later keeps the rule, also when the table is rebuilt again.
            {L"CREATE TABLE Pair (A int, B varchar(3))"},
            {L"ALTER TABLE Pair ADD CONSTRAINT UQ_Pair UNIQUE (A, B)"},
            {L"ALTER TABLE Pair ADD C int NOT NULL DEFAULT 0"},
            {L"INSERT INTO Pair (A, B) VALUES (1, NULL); INSERT INTO Pair (A, B) VALUES (1, 'x')"},
            Fails(L"INSERT INTO Pair (A, B) VALUES (1, NULL)",
                  L"Violation of UNIQUE KEY constraint 'UQ_Pair'. Cannot insert duplicate key in "
                  L"object 'dbo.Pair'. The duplicate key value is (1, <NULL>)."),
            Fails(L"INSERT INTO Pair (A, B) VALUES (1, 'X')",
                  L"Violation of UNIQUE KEY constraint 'UQ_Pair'. Cannot insert duplicate key in "
                  L"object 'dbo.Pair'. The duplicate key value is (1, X)."),
            // ... and loses it with the key.
            {L"ALTER TABLE Pair DROP CONSTRAINT UQ_Pair"},
            {L"INSERT INTO Pair (A, B) VALUES (1, NULL)"},
            {L"DROP INDEX IX_Slot_Tag ON Slot"},
            {L"INSERT INTO Slot VALUES (3, 5, NULL)"},
            {L"SELECT COUNT(*) FROM Slot", {{L"7"}}},
        });
}

TEST(SqlServerConstraints, StoredDefinitionsNameTheirConstraints) {
    std::vector<CSqlConstraint> c = SqlTableConstraints(
        L"Ord",
        L"CREATE TABLE \"Ord\" /*created*/ (\"ID\" int NOT NULL CONSTRAINT \"PK_Ord\" PRIMARY KEY, "
        L"[Cust] int REFERENCES \"Cust\", \"Qty\" int CONSTRAINT \"zqk_range:int\" CHECK (\"Qty\" "
        L"BETWEEN 1 AND 9) CHECK ((Qty) > (0)), Code varchar(9) CONSTRAINT DF_Code DEFAULT "
        L"('x,y') UNIQUE, "
        L"CONSTRAINT UQ_Ord UNIQUE (Code DESC, [Cust]), CHECK (Code <> 'Qty' OR Cust > 1), "
        L"FOREIGN KEY (Code, Cust) REFERENCES main.Pair (A, B))");
    ASSERT_EQ(8u, c.size());
    EXPECT_EQ(CSqlConstraint::kPrimaryKey, c[0].nKind);
    EXPECT_EQ(L"PK_Ord", c[0].strName);
    EXPECT_EQ((std::vector<std::wstring>{L"ID"}), c[0].columns);
    // A column's REFERENCES without columns refers to the other table's key.
    EXPECT_EQ(CSqlConstraint::kForeignKey, c[1].nKind);
    EXPECT_EQ((std::vector<std::wstring>{L"Cust"}), c[1].columns);
    EXPECT_EQ(L"Cust", c[1].strReferenced);
    EXPECT_TRUE(c[1].referencedColumns.empty());
    // The bridge's own rules are no constraints of the table; a CHECK keeps its text.
    EXPECT_EQ(CSqlConstraint::kCheck, c[2].nKind);
    EXPECT_EQ(L"(Qty) > (0)", c[2].strCheck);
    EXPECT_EQ((std::vector<std::wstring>{L"Qty"}), c[2].columns);
    // A DEFAULT is a constraint of its column, its value kept whole; its name is not the
    // next constraint's.
    EXPECT_EQ(CSqlConstraint::kDefault, c[3].nKind);
    EXPECT_EQ(L"DF_Code", c[3].strName);
    EXPECT_EQ(L"'x,y'", c[3].strCheck);
    EXPECT_EQ((std::vector<std::wstring>{L"Code"}), c[3].columns);
    c.erase(c.begin() + 3);
    EXPECT_EQ(0u, c[3].strName.find(L"UQ__Ord__"));
    EXPECT_EQ((std::vector<std::wstring>{L"Code"}), c[3].columns);
    c.erase(c.begin() + 3);
    EXPECT_EQ(L"UQ_Ord", c[3].strName);
    EXPECT_EQ((std::vector<std::wstring>{L"Code", L"Cust"}), c[3].columns);
    // A table's CHECK names the columns its expression names, not those in its literals.
    EXPECT_EQ((std::vector<std::wstring>{L"Cust", L"Code"}), c[4].columns);
    EXPECT_EQ((std::vector<std::wstring>{L"Code", L"Cust"}), c[5].columns);
    EXPECT_EQ(L"Pair", c[5].strReferenced);
    EXPECT_EQ((std::vector<std::wstring>{L"A", L"B"}), c[5].referencedColumns);
    // Names made for constraints without one follow SQL Server's pattern and stay the same.
    std::vector<CSqlConstraint> again = SqlTableConstraints(
        L"Ord", L"CREATE TABLE Ord (Cust int REFERENCES Cust, Qty int CHECK ((Qty) > (0)), Code "
                L"varchar(9), CHECK (Code <> 'Qty' OR Cust > 1), FOREIGN KEY (Code, Cust) "
                L"REFERENCES main.Pair (A, B))");
    ASSERT_EQ(4u, again.size());
    EXPECT_EQ(c[1].strName, again[0].strName);
    EXPECT_EQ(c[2].strName, again[1].strName);
    EXPECT_EQ(c[4].strName, again[2].strName);
    EXPECT_EQ(c[5].strName, again[3].strName);
    EXPECT_EQ(0u, c[1].strName.find(L"FK__Ord__Cust__"));
    EXPECT_EQ(23u, c[1].strName.size());
    EXPECT_EQ(0u, c[2].strName.find(L"CK__Ord__Qty__"));
    EXPECT_EQ(0u, c[4].strName.find(L"CK__Ord__"));
    EXPECT_EQ(17u, c[4].strName.size());
    EXPECT_NE(c[1].strName, c[5].strName);
    EXPECT_EQ(0u,
              SqlTableConstraints(L"Customers", L"CREATE TABLE Customers (ID int PRIMARY KEY)")[0]
                  .strName.find(L"PK__Customer__"));
}
