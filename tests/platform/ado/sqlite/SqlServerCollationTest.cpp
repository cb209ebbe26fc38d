// SQL Server's collations and LIKE as the embedded database compares text: names, equality
// and order under case, accent and width sensitivity, trailing blanks, and LIKE's sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "SqlServerScriptSupport.h"
#include "platform/ado/sqlite/SqlServerCollation.h"
#include "platform/win/TextEncoding.h"

namespace {

CSqlCollation Named(const wchar_t* pszName) {
    CSqlCollation c;
    EXPECT_TRUE(SqlParseCollation(pszName, &c)) << WinWideToUtf8(pszName);
    return c;
}

int Compare(const CSqlCollation& c, const std::wstring& a, const std::wstring& b) {
    std::string ua = WinWideToUtf8(a), ub = WinWideToUtf8(b);
    return SqlCollationCompare(
        c, reinterpret_cast<const unsigned char*>(ua.data()), static_cast<int>(ua.size()),
        reinterpret_cast<const unsigned char*>(ub.data()), static_cast<int>(ub.size()));
}

bool Like(const std::wstring& text, const std::wstring& pattern, unsigned chEscape = 0) {
    std::string t = WinWideToUtf8(text), p = WinWideToUtf8(pattern);
    return SqlLikeMatch(
        reinterpret_cast<const unsigned char*>(t.data()), static_cast<int>(t.size()),
        reinterpret_cast<const unsigned char*>(p.data()), static_cast<int>(p.size()), chEscape);
}

} // namespace

TEST(SqlServerCollation, NamesGiveTheirSensitivities) {
    CSqlCollation c = Named(L"Chinese_PRC_CI_AS");
    EXPECT_FALSE(c.bCaseSensitive);
    EXPECT_TRUE(c.bAccentSensitive);
    EXPECT_FALSE(c.bWidthSensitive);
    c = Named(L"SQL_Latin1_General_CP1_CS_AI");
    EXPECT_TRUE(c.bCaseSensitive);
    EXPECT_FALSE(c.bAccentSensitive);
    c = Named(L"Japanese_XJIS_140_CI_AS_KS_WS_VSS");
    EXPECT_TRUE(c.bWidthSensitive);
    EXPECT_TRUE(Named(L"Latin1_General_BIN2").bBinary);
    EXPECT_TRUE(Named(L"latin1_general_100_ci_as_sc_utf8").bAccentSensitive);
    for (const wchar_t* pszBad : {L"Nonsense", L"CI_AS", L"Latin1_General", L"Latin1_General_CI",
                                  L"Latin1_General_XX_AS", L"", L"_CI_AS"}) {
        CSqlCollation bad;
        EXPECT_FALSE(SqlParseCollation(pszBad, &bad)) << WinWideToUtf8(pszBad);
    }
}

TEST(SqlServerCollation, EqualityFollowsCaseAccentsWidthAndPadding) {
    const CSqlCollation ciAs = Named(L"Latin1_General_CI_AS"),
                        csAs = Named(L"Latin1_General_CS_AS"),
                        ciAi = Named(L"Latin1_General_CI_AI"), bin = Named(L"Latin1_General_BIN2"),
                        ws = Named(L"Chinese_PRC_CI_AS_WS");
    struct Case {
        std::wstring a, b;
        bool bCiAs, bCsAs, bCiAi, bBin;
    };
    const Case cases[] = {
        {L"admin", L"ADMIN", true, false, true, false},
        {L"admin", L"admin   ", true, true, true, true}, // trailing blanks never count
        {L"  admin", L"admin", false, false, false, false},
        {L"Ärger", L"ärger", true, false, true, false},  // Unicode letters fold too
        {L"Ärger", L"Arger", false, false, true, false}, // accents count unless AI
        {L"ΣΟΦΙΑ", L"σοφια", true, false, true, false},
        {L"Москва", L"МОСКВА", true, false, true, false},
        {L"ＡＢＣ", L"abc", true, false, true, false}, // full width, without _WS
        {L"", L"   ", true, true, true, true},
        {L"a\tb", L"a b", false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WinWideToUtf8(c.a + L" | " + c.b));
        EXPECT_EQ(c.bCiAs, Compare(ciAs, c.a, c.b) == 0);
        EXPECT_EQ(c.bCsAs, Compare(csAs, c.a, c.b) == 0);
        EXPECT_EQ(c.bCiAi, Compare(ciAi, c.a, c.b) == 0);
        EXPECT_EQ(c.bBin, Compare(bin, c.a, c.b) == 0);
    }
    EXPECT_NE(0, Compare(ws, L"ＡＢＣ", L"abc"));
}

TEST(SqlServerCollation, OrderIsConsistentAndPutsAccentsAfterTheirLetter) {
    const CSqlCollation ciAs = Named(L"Latin1_General_CI_AS"),
                        csAs = Named(L"Latin1_General_CS_AS");
    std::vector<std::wstring> words = {L"f",  L"é", L"E",  L"e",  L"ez", L"éa", L"B", L"a",  L"Ä",
                                       L"ab", L"A", L"b ", L"中", L"Z",  L"z",  L"ǅ", L"10", L"9"};
    // The comparison is a total order: antisymmetric and transitive on every triple.
    for (const CSqlCollation* pc : {&ciAs, &csAs})
        for (const std::wstring& a : words)
            for (const std::wstring& b : words) {
                int ab = Compare(*pc, a, b);
                EXPECT_EQ(ab, -Compare(*pc, b, a)) << WinWideToUtf8(a + L"|" + b);
                for (const std::wstring& c : words) {
                    if (ab <= 0 && Compare(*pc, b, c) <= 0) {
                        EXPECT_LE(Compare(*pc, a, c), 0) << WinWideToUtf8(a + b + c);
                    }
                }
            }
    std::vector<std::wstring> sorted = {L"f", L"éa", L"e", L"ez", L"a", L"Ä", L"B"};
    std::stable_sort(
        sorted.begin(), sorted.end(),
        [&](const std::wstring& x, const std::wstring& y) { return Compare(ciAs, x, y) < 0; });
    // Accented letters sort with their base letter, after it when all else is equal.
    EXPECT_EQ((std::vector<std::wstring>{L"a", L"Ä", L"B", L"e", L"éa", L"ez", L"f"}), sorted);
    // Case-sensitive: lower case first, as SQL Server orders them.
    EXPECT_LT(Compare(csAs, L"a", L"A"), 0);
    EXPECT_LT(Compare(csAs, L"A", L"b"), 0);
}

TEST(SqlServerCollation, LikeHasSetsRangesAndEscapes) {
    struct Case {
        const wchar_t* pszText;
        const wchar_t* pszPattern;
        bool bMatch;
    };
    const Case cases[] = {
        {L"Carl", L"c_rl", true},   {L"Carl", L"C%", true},      {L"Carl", L"%RL", true},
        {L"Carl", L"[a-c]%", true}, {L"Dora", L"[a-c]%", false}, {L"Dora", L"[^a-c]%", true},
        {L"Ärger", L"ä%", true},    {L"x]", L"x]", true},        {L"[a", L"[a", true},
        {L"a-b", L"a[-]b", true},   {L"50%", L"50!%", false},    {L"", L"%", true},
        {L"", L"_", false},         {L"abc", L"a%%%c", true},    {L"abc", L"ab", false},
        {L"abc ", L"abc", false},   {L"中文名", L"中_名", true}, {L"x", L"[xyz]", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.bMatch, Like(c.pszText, c.pszPattern))
            << WinWideToUtf8(c.pszText) << " LIKE " << WinWideToUtf8(c.pszPattern);
    EXPECT_TRUE(Like(L"50%", L"50!%", L'!'));
    EXPECT_FALSE(Like(L"501", L"50!%", L'!'));
    EXPECT_TRUE(Like(L"a_b", L"a\\_b", L'\\'));
}

TEST(SqlServerCollation, CaseChangesForAllLetters) {
    auto change = [](const std::wstring& s, bool bUpper) {
        std::string u = WinWideToUtf8(s);
        return WinUtf8ToWide(SqlChangeCase(reinterpret_cast<const unsigned char*>(u.data()),
                                           static_cast<int>(u.size()), bUpper));
    };
    EXPECT_EQ(L"ÄRGER ΣΟΦΙΑ МОСКВА 中文 123", change(L"Ärger σοφια Москва 中文 123", true));
    EXPECT_EQ(L"ärger σοφια москва", change(L"ÄRGER ΣΟΦΙΑ МОСКВА", false));
}

TEST(SqlServerCollation, ChineseCollationsOrderHanByPinyinStrokesOrBopomofo) {
    // 阿 a, 爸 ba, 李 li, 人 ren, 王 wang, 一 yi, 张 zhang, 赵 zhao, 中 zhong: code-point order
    // is none of SQL Server's Chinese orders.
    const std::vector<std::wstring> han = {L"中", L"张", L"李", L"爸", L"王",
                                           L"赵", L"阿", L"一", L"人"};
    auto sorted = [&](const wchar_t* pszCollation, std::vector<std::wstring> words) {
        const CSqlCollation c = Named(pszCollation);
        std::sort(words.begin(), words.end(), [&](const std::wstring& x, const std::wstring& y) {
            return Compare(c, x, y) < 0;
        });
        return words;
    };
    const std::vector<std::wstring> pinyin = {L"阿", L"爸", L"李", L"人", L"王",
                                              L"一", L"张", L"赵", L"中"};
    EXPECT_EQ(pinyin, sorted(L"Chinese_PRC_CI_AS", han));
    EXPECT_EQ(pinyin, sorted(L"Chinese_Simplified_Pinyin_100_CS_AS", han));
    // By stroke count: 一 1, 人 2, 中 and 王 4, 张, 李 and 阿 7, 爸 8, 赵 9.
    EXPECT_EQ(
        (std::vector<std::wstring>{L"一", L"人", L"中", L"王", L"张", L"李", L"爸", L"阿", L"赵"}),
        sorted(L"Chinese_PRC_Stroke_CI_AS", han));
    EXPECT_EQ(sorted(L"Chinese_PRC_Stroke_CI_AS", han),
              sorted(L"Chinese_Taiwan_Stroke_CI_AS", han));
    EXPECT_EQ(
        (std::vector<std::wstring>{L"爸", L"李", L"赵", L"张", L"中", L"人", L"阿", L"一", L"王"}),
        sorted(L"Chinese_Taiwan_Bopomofo_CI_AS", han));
    // Binary and non-Chinese collations keep code points.
    const std::vector<std::wstring> byCodePoint = {L"一", L"中", L"人", L"张", L"李",
                                                   L"爸", L"王", L"赵", L"阿"};
    EXPECT_EQ(byCodePoint, sorted(L"Chinese_PRC_BIN2", han));
    EXPECT_EQ(byCodePoint, sorted(L"Latin1_General_CI_AS", han));

    // Latin text comes first; names compare character by character; case and padding rules
    // stay; the order is total over mixed text.
    const CSqlCollation prc = Named(L"Chinese_PRC_CI_AS");
    EXPECT_LT(Compare(prc, L"Zoe", L"阿"), 0);
    EXPECT_LT(Compare(prc, L"李四", L"张三"), 0);
    EXPECT_LT(Compare(prc, L"张三", L"张伟"), 0);
    EXPECT_EQ(0, Compare(prc, L"王Ab  ", L"王aB"));
    EXPECT_NE(0, Compare(prc, L"中", L"丒"));
    std::vector<std::wstring> mixed = han;
    for (const wchar_t* psz : {L"a", L"Z", L"é", L"张a", L"张", L"𠀀", L"ㄅ", L"10"})
        mixed.push_back(psz);
    for (const std::wstring& a : mixed)
        for (const std::wstring& b : mixed) {
            int ab = Compare(prc, a, b);
            EXPECT_EQ(ab, -Compare(prc, b, a)) << WinWideToUtf8(a + L"|" + b);
            for (const std::wstring& c : mixed)
                if (ab <= 0 && Compare(prc, b, c) <= 0) {
                    EXPECT_LE(Compare(prc, a, c), 0) << WinWideToUtf8(a + b + c);
                }
        }
}

TEST_F(SqlServerScript, ChineseColumnsSortByPinyin) {
    RunScript(
        m_pConn,
        {
            {L"CREATE TABLE Staff (Name nvarchar(20) COLLATE Chinese_PRC_CI_AS PRIMARY KEY, "
             L"Plain nvarchar(20))"},
            {L"INSERT INTO Staff VALUES (N'张伟', N'张伟'); INSERT INTO Staff VALUES (N'李娜', "
             L"N'李娜'); INSERT INTO Staff VALUES (N'王芳', N'王芳'); INSERT INTO Staff "
             L"VALUES (N'Anna', N'Anna')"},
            {L"SELECT Name FROM Staff ORDER BY Name", {{L"Anna"}, {L"李娜"}, {L"王芳"}, {L"张伟"}}},
            // The index the key made agrees with the order.
            {L"SELECT Name FROM Staff WHERE Name > N'王' ORDER BY Name", {{L"王芳"}, {L"张伟"}}},
            // The default collation keeps code-point order for Han characters.
            {L"SELECT Plain FROM Staff ORDER BY Plain",
             {{L"Anna"}, {L"张伟"}, {L"李娜"}, {L"王芳"}}},
            {L"SELECT Plain FROM Staff ORDER BY Plain COLLATE Chinese_PRC_CI_AS",
             {{L"Anna"}, {L"李娜"}, {L"王芳"}, {L"张伟"}}},
            // An expression of the column sorts by the column's collation, and so do its alias
            // and its number; dates and their names compare by the default collation.
            {L"SELECT RTRIM(s.Name) AS N FROM Staff s ORDER BY LEFT(s.Name, 1), N",
             {{L"Anna"}, {L"李娜"}, {L"王芳"}, {L"张伟"}}},
            {L"SELECT COUNT(*) FROM Staff WHERE LEFT(Name, 1) < N'王'", {{L"2"}}},
            {L"SELECT RTRIM(Name) AS N FROM Staff ORDER BY N",
             {{L"Anna"}, {L"李娜"}, {L"王芳"}, {L"张伟"}}},
            {L"SELECT LTRIM(Name) FROM Staff ORDER BY 1 DESC",
             {{L"张伟"}, {L"王芳"}, {L"李娜"}, {L"Anna"}}},
            {L"SELECT Name FROM Staff UNION SELECT N'Anna' ORDER BY 1",
             {{L"Anna"}, {L"李娜"}, {L"王芳"}, {L"张伟"}}},
            {L"CREATE TABLE Shift (At datetime); INSERT INTO Shift VALUES ('20240301 10:00')"},
            {L"SELECT COUNT(*), MAX(CASE DATENAME(weekday, At) WHEN 'friday' THEN 1 END) FROM "
             L"Shift WHERE DATENAME(month, At) = 'MARCH'",
             {{L"1", L"1"}}},
        });
}

TEST_F(SqlServerScript, ExpressionsAndLiteralsCompareByTheDefaultCollation) {
    RunScript(
        m_pConn,
        {{L"CREATE TABLE P (ID int, Name nvarchar(20), Code varchar(10) COLLATE "
          L"Latin1_General_CS_AS)"},
         {L"INSERT INTO P VALUES (1, N'apple', 'a'), (2, N'Pear', 'B'), (3, N'ÄPFEL', 'c')"},
         // Literals, variables and expressions: case-insensitive, trailing blanks ignored.
         {L"SELECT CASE WHEN 'a' = 'A ' THEN 1 ELSE 0 END, IIF(N'é' = N'É', 1, 0)", {{L"1", L"1"}}},
         {L"DECLARE @v varchar(9) = 'PEAR'; SELECT ID FROM P WHERE Name + '' = @v", {{L"2"}}},
         {L"DECLARE @v varchar(9) = 'abc'; IF @v = 'ABC' SELECT 'same' ELSE SELECT 'differ'",
          {{L"same"}}},
         {L"SELECT ID FROM P WHERE LEFT(Name, 2) = 'AP' OR UPPER(Name) IN ('äpfel')",
          {{L"1"}, {L"3"}}},
         {L"SELECT ID FROM P WHERE LOWER(Name) NOT BETWEEN 'B' AND 'Z'", {{L"1"}, {L"3"}}},
         // Orderings and groupings of expressions, by the expression, its alias or its number.
         {L"SELECT LEFT(Name, 1) AS F FROM P ORDER BY F", {{L"a"}, {L"Ä"}, {L"P"}}},
         {L"SELECT LOWER(LEFT(Name, 1)), COUNT(*) FROM P GROUP BY LOWER(LEFT(Name, 1)) ORDER BY 1 "
          L"DESC",
          {{L"p", L"1"}, {L"ä", L"1"}, {L"a", L"1"}}},
         // Letters first, accents after: ÄPFEL before apple (f before p).
         {L"SELECT ID FROM P ORDER BY RTRIM(Name)", {{L"3"}, {L"1"}, {L"2"}}},
         // CASE ... END is one operand, and one term of an ordering; windows partition so too.
         {L"SELECT ID FROM P WHERE CASE WHEN ID > 1 THEN LOWER(Name) END = 'PEAR'", {{L"2"}}},
         {L"SELECT ID FROM P ORDER BY CASE WHEN ID = 0 THEN 0 ELSE 1 END, RTRIM(Name) + ''",
          {{L"3"}, {L"1"}, {L"2"}}},
         {L"SELECT COUNT(*) OVER (PARTITION BY LEFT(Name, 1) + '') FROM (SELECT Name FROM P "
          L"UNION ALL SELECT UPPER(Name) FROM P) AS d ORDER BY 1",
          {{L"2"}, {L"2"}, {L"2"}, {L"2"}, {L"2"}, {L"2"}}},
         // DISTINCT keeps one of the values an expression's collation finds equal.
         {L"INSERT INTO P VALUES (4, N'APPLE ', 'A')"},
         {L"SELECT COUNT(*) FROM (SELECT DISTINCT UPPER(Name) AS U FROM P) d", {{L"3"}}},
         {L"SELECT COUNT(*) FROM (SELECT DISTINCT TOP 9 Name + '' n, ID - ID AS z FROM P) d",
          {{L"3"}}},
         {L"SELECT COUNT(*) FROM (SELECT DISTINCT LOWER(Code) FROM P) d", {{L"3"}}},
         {L"SELECT COUNT(*) FROM (SELECT DISTINCT Code FROM P) d", {{L"4"}}},
         // CASE x WHEN: an expression x compares as = would, a column by its own collation,
         // and so does an expression of it.
         {L"SELECT ID, CASE LEFT(Name, 2) WHEN 'AP' THEN 'y' ELSE 'n' END, CASE Code WHEN 'a' "
          L"THEN 'y' ELSE 'n' END, CASE LOWER(Code) WHEN 'A' THEN 'y' END, CASE LOWER(Code) + "
          L"'' WHEN 'a' THEN 'y' END FROM P ORDER BY ID",
          {{L"1", L"y", L"y", L"NULL", L"y"},
           {L"2", L"n", L"n", L"NULL", L"NULL"},
           {L"3", L"n", L"n", L"NULL", L"NULL"},
           {L"4", L"y", L"n", L"NULL", L"y"}}},
         {L"DECLARE @v nvarchar(9) = N'PEAR'; SELECT ID FROM P WHERE CASE @v WHEN Name THEN 1 "
          L"END = 1 AND CASE @v WHEN N'pear ' THEN 1 END = 1",
          {{L"2"}}},
         // Sets of rows and aggregates of expressions compare and order so too; a column in
         // any query of a compound brings its own collation.
         {L"SELECT COUNT(*) FROM (SELECT LEFT(Name, 5) AS F FROM P UNION SELECT 'PEAR ') d",
          {{L"3"}}},
         {L"SELECT UPPER(Name) AS F FROM P WHERE ID < 4 UNION SELECT 'zz' ORDER BY F",
          {{L"ÄPFEL"}, {L"APPLE"}, {L"PEAR"}, {L"zz"}}},
         {L"SELECT COUNT(*) FROM (SELECT UPPER(Name) U FROM P EXCEPT SELECT N'äpfel') d", {{L"2"}}},
         {L"SELECT Name + '' FROM P WHERE ID < 3 INTERSECT SELECT LOWER(Name) FROM P",
          {{L"apple"}, {L"Pear"}}},
         {L"SELECT COUNT(*) FROM (SELECT LOWER(Code) C FROM P UNION SELECT Code FROM P) d",
          {{L"5"}}},
         {L"SELECT COUNT(DISTINCT UPPER(Name)), MAX(LEFT(Name, 1)), MIN(Code + ''), MAX(Code) "
          L"FROM P",
          {{L"3", L"P", L"a", L"c"}}},
         {L"DELETE FROM P WHERE ID = 4"},
         // A column's own collation still decides beside it, and in expressions of it.
         {L"SELECT ID FROM P WHERE Code = 'A' OR UPPER(Code) = 'a' OR 'A' IN (Code + '')", {}},
         {L"SELECT ID FROM P p WHERE LOWER(p.Code) IN ('b') OR p.Code + '' = 'c' ORDER BY ID",
          {{L"2"}, {L"3"}}},
         {L"SELECT COUNT(*) FROM (SELECT 'A' AS x UNION SELECT Code + '' FROM P WHERE ID = 1) d",
          {{L"2"}}},
         // Only what makes the result counts: not CASE's or IIF's conditions, nor the
         // arguments of a call that gives no text.
         {L"SELECT ID FROM P WHERE CASE WHEN Code = 'a' THEN 'yes' END = 'YES' AND IIF(Code = "
          L"'a', 'x', 'y') = 'X' AND CASE WHEN LEN(Code) = 1 THEN Code END = 'a'",
          {{L"1"}}},
         {L"SELECT ID FROM P WHERE CASE ID WHEN 1 THEN Code END = 'A' OR IIF(ID = 1, Code, '') = "
          L"'A'",
          {}},
         {L"SELECT ID FROM P WHERE Code COLLATE Latin1_General_CI_AS = 'A'", {{L"1"}}}});
}

TEST_F(SqlServerScript, JoinsFindKeysThatDifferByTrailingBlanks) {
    // Each planner's way to a join's rows (a lookup filter, an automatic index over a view)
    // compares by the columns' collation, not by the texts' bytes or lengths.
    RunScript(m_pConn,
              {{L"CREATE TABLE U (id int, name varchar(10)); CREATE TABLE W (id int, name "
                L"varchar(10)); CREATE VIEW V AS SELECT id, name FROM U UNION ALL SELECT id, name "
                L"FROM W"},
               {L"INSERT INTO U VALUES (1, 'x'), (2, 'y'); INSERT INTO W VALUES (1, 'X  '), (2, "
                L"'y ')"},
               {L"SELECT U.id FROM U JOIN W ON U.name = W.name ORDER BY U.id", {{L"1"}, {L"2"}}},
               {L"SELECT count(*) FROM V JOIN W ON V.name = W.name", {{L"4"}}},
               {L"SELECT id FROM U WHERE id = (SELECT id FROM V WHERE name = 'x ' AND id > 0 "
                L"GROUP BY id)",
                {{L"1"}}}});
}
