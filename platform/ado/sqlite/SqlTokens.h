// The tokens of SQL text as the SQL Server bridge sees it: blanks, comments, literals, quoted
// names, words, numbers and operators. Rewriting works on these, so that nothing inside a
// literal, a quoted name or a comment is ever taken for SQL.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

enum class SqlTok { kSpace, kComment, kString, kNString, kQuoted, kWord, kNumber, kPunct };

// A token's text: a view into the text it was split from (kept by the tokens SqlTokenize
// filled), or into a literal or a made-up token's own string. It reads as a string does
// (==, [], size, find, compare) and becomes one where a string is needed. Not terminated: no
// c_str. A value like the view it is; safe to read from any thread.
class CSqlText : public std::wstring_view {
public:
    constexpr CSqlText() = default;
    constexpr CSqlText(std::wstring_view text) : std::wstring_view(text) {}
    constexpr CSqlText(const wchar_t* psz) : std::wstring_view(psz) {}
    std::wstring Str() const { return std::wstring(data(), size()); }
    operator std::wstring() const { return Str(); }
};
// Joined with text on either side, as strings join.
inline std::wstring operator+(const std::wstring& a, const CSqlText& b) {
    std::wstring s;
    s.reserve(a.size() + b.size());
    return s.append(a).append(b.data(), b.size());
}
inline std::wstring operator+(const CSqlText& a, const std::wstring& b) {
    std::wstring s;
    s.reserve(a.size() + b.size());
    return s.append(a.data(), a.size()).append(b);
}
inline std::wstring operator+(const wchar_t* a, const CSqlText& b) {
    return std::wstring(a) + b;
}
inline std::wstring operator+(const CSqlText& a, const wchar_t* b) {
    return a + std::wstring(b);
}

// A token. Its text is a view, into the tokenized text or a literal, except for a token made up
// from a string, which keeps that string with it (shared by its copies).
struct CSqlToken {
    SqlTok nKind = SqlTok::kSpace;
    CSqlText strText;   // a national literal's text without its N
    size_t nOffset = 0; // where the token starts in the source text

    CSqlToken() = default;
    CSqlToken(SqlTok kind, CSqlText text, size_t offset)
        : nKind(kind), strText(text), nOffset(offset) {}
    CSqlToken(SqlTok kind, const wchar_t* pszLiteral, size_t offset)
        : nKind(kind), strText(pszLiteral), nOffset(offset) {}
    CSqlToken(SqlTok kind, const std::wstring& strMadeUp, size_t offset)
        : CSqlToken(kind, std::wstring(strMadeUp), offset) {}
    CSqlToken(SqlTok kind, std::wstring&& strMadeUp, size_t offset)
        : nKind(kind), nOffset(offset),
          m_pOwnText(std::make_shared<const std::wstring>(std::move(strMadeUp))) {
        strText = std::wstring_view(*m_pOwnText);
    }

private:
    std::shared_ptr<const std::wstring> m_pOwnText; // a made-up token's text; a string never moves
};

// Tokens, and the texts SqlTokenize split into them, which the tokens' views refer to. A token
// copied into another list refers to the same text, so the list it came from (or a copy of the
// list) must outlive it. Not thread-safe to change; a list no one changes may be read from any
// thread.
class CSqlTokens : public std::vector<CSqlToken> {
public:
    using std::vector<CSqlToken>::vector;
    // A copy of a text, kept as long as this list or a copy of it lives.
    CSqlText KeepText(const std::wstring& strText) {
        auto pText = std::make_shared<const std::wstring>(strText);
        const CSqlText text = std::wstring_view(*pText);
        if (m_pText)
            m_moreTexts.push_back(std::move(pText));
        else
            m_pText = std::move(pText);
        return text;
    }
    // Keeps the texts of another list, whose tokens this one takes in.
    void KeepTextsOf(const CSqlTokens& other) {
        if (other.m_pText)
            m_moreTexts.push_back(other.m_pText);
        m_moreTexts.insert(m_moreTexts.end(), other.m_moreTexts.begin(), other.m_moreTexts.end());
    }
    void swap(CSqlTokens& other) {
        std::vector<CSqlToken>::swap(other);
        m_pText.swap(other.m_pText);
        m_moreTexts.swap(other.m_moreTexts);
    }

private:
    // Shared, so that a copied list refers to the same texts; a string never moves here. Most
    // lists keep one text: the first needs no vector.
    std::shared_ptr<const std::wstring> m_pText;
    std::vector<std::shared_ptr<const std::wstring>> m_moreTexts;
};

// Splits the text, which the tokens keep a copy of; false for an unclosed literal, quoted name
// or block comment.
bool SqlTokenize(const std::wstring& strText, CSqlTokens* pTokens);

// Whether a word's text is a keyword (ASCII letters, compared without regard to case).
bool SqlWordIs(const wchar_t* pszText, const wchar_t* pszKeyword);
// The same for a text that need not be terminated (a NUL inside ends it all the same). Inline:
// every word of a statement meets several of these.
inline bool SqlWordIs(std::wstring_view text, const wchar_t* pszKeyword) {
    const size_t n = text.size();
    for (size_t i = 0; i < n; ++i) {
        const wchar_t a = text[i], b = pszKeyword[i];
        if (a == b) {
            if (a == 0)
                return true;
            continue;
        }
        // Only an ASCII letter may differ, and then in its case bit alone.
        if ((a ^ b) != 0x20 || (a | 0x20) < L'a' || (a | 0x20) > L'z')
            return false;
    }
    return pszKeyword[n] == 0;
}
// A word, compared without regard to case. Every token meets many of these tests, so the
// first letter decides most of them here, inline in each caller.
__attribute__((always_inline)) static inline bool SqlIs(const CSqlToken& t,
                                                        const wchar_t* pszWord) {
    return t.nKind == SqlTok::kWord && (t.strText[0] | 0x20) == (pszWord[0] | 0x20) &&
           SqlWordIs(t.strText, pszWord);
}
// An operator or punctuation mark ("(", "<>", ...). A mark is a character or two: compared in
// place, without measuring pszPunct first.
__attribute__((always_inline)) static inline bool SqlIsPunct(const CSqlToken& t,
                                                             const wchar_t* pszPunct) {
    if (t.nKind != SqlTok::kPunct || t.strText[0] != pszPunct[0] || pszPunct[0] == 0)
        return false;
    const size_t n = t.strText.size();
    for (size_t i = 1; i < n; ++i)
        if (pszPunct[i] == 0 || pszPunct[i] != t.strText[i])
            return false;
    return pszPunct[n] == 0;
}
bool SqlIsNamePart(const CSqlToken& t);
// A comparison operator: = < > <> <= >= != !< !>.
static inline bool SqlIsComparison(const CSqlToken& t) {
    if (t.nKind != SqlTok::kPunct)
        return false;
    const std::wstring_view s = t.strText;
    const wchar_t c = s[0];
    if (s.size() == 1)
        return c == L'=' || c == L'<' || c == L'>';
    if (s.size() != 2)
        return false;
    const wchar_t d = s[1];
    return (c == L'<' && (d == L'>' || d == L'=')) || (c == L'>' && d == L'=') ||
           (c == L'!' && (d == L'=' || d == L'<' || d == L'>'));
}
// Blanks and comments, which separate tokens but mean nothing.
// A word that is one of a list of keywords. The token's kind and folded first letter are read
// once for the whole list, which is all most words of a statement meet.
template <typename Words> bool SqlIsOneOfWords(const CSqlToken& t, const Words& words) {
    if (t.nKind != SqlTok::kWord)
        return false;
    const wchar_t chFirst = t.strText[0] | 0x20;
    for (const wchar_t* w : words)
        if ((w[0] | 0x20) == chFirst && SqlWordIs(t.strText, w))
            return true;
    return false;
}
template <size_t N> bool SqlIsOneOf(const CSqlToken& t, const wchar_t* const (&words)[N]) {
    return SqlIsOneOfWords(t, words);
}
static inline bool SqlIsOneOf(const CSqlToken& t, std::initializer_list<const wchar_t*> words) {
    return SqlIsOneOfWords(t, words);
}
// A long list of keywords that most words of a statement meet: only the words with the
// token's folded first letter are compared. Immutable after construction; share freely.
class CSqlWordSet {
public:
    template <size_t N> explicit CSqlWordSet(const wchar_t* const (&words)[N]) {
        for (const wchar_t* w : words)
            m_buckets[Bucket(w[0])].push_back(w);
    }
    bool Has(const CSqlToken& t) const {
        if (t.nKind != SqlTok::kWord)
            return false;
        for (const wchar_t* w : m_buckets[Bucket(t.strText[0])])
            if (SqlWordIs(t.strText, w))
                return true;
        return false;
    }

private:
    // A letter's bucket, either case; everything else shares the last, which no keyword uses.
    static size_t Bucket(wchar_t c) {
        wchar_t l = c | 0x20;
        return l >= L'a' && l <= L'z' ? static_cast<size_t>(l - L'a') : 26;
    }
    std::vector<const wchar_t*> m_buckets[27];
};

static inline bool SqlIsBlank(const CSqlToken& t) {
    return t.nKind == SqlTok::kSpace || t.nKind == SqlTok::kComment;
}

// A name part without its quotes.
std::wstring SqlNameOf(const CSqlToken& t);
// Whether a name part is one of SQL's own ASCII names (SqlEqualNoCase of its SqlNameOf), most
// often without making the name.
bool SqlNameIs(const CSqlToken& t, const wchar_t* pszName);
// A text between quotes, a quote inside doubled: names ("a""b") and literals ('it''s') alike,
// in wide or narrow text.
template <typename S> S SqlQuote(const S& s, typename S::value_type chQuote) {
    S q;
    q.reserve(s.size() + 2);
    q += chQuote;
    // Runs without a quote are copied whole: names and literals seldom hold one.
    size_t nFrom = 0;
    for (size_t i = s.find(chQuote); i != S::npos; i = s.find(chQuote, i + 1)) {
        q.append(s, nFrom, i + 1 - nFrom);
        q += chQuote;
        nFrom = i + 1;
    }
    q.append(s, nFrom, S::npos);
    q += chQuote;
    return q;
}
// A name quoted for SQLite ("a""b").
std::wstring SqlQuoteName(const std::wstring& strName);
// A text as a SQLite string literal ('it''s').
std::wstring SqlQuoteString(const std::wstring& strText);
// The value of a string literal token.
std::wstring SqlStringValue(const CSqlToken& t);
// A character in lower or upper case by Unicode's mappings (the C.UTF-8 locale's tables, asked
// for explicitly: the process's own locale never changes a name or a comparison).
unsigned SqlLowerLetter(unsigned c);
unsigned SqlUpperLetter(unsigned c);
std::wstring SqlLower(std::wstring s);
// Whether two names are the same without regard to case, as SqlLower compares them, without
// making either lower.
bool SqlSameName(const std::wstring& a, const std::wstring& b);
// A name against one of SQL's own ASCII names, without regard to case.
bool SqlEqualNoCase(const std::wstring& a, const wchar_t* b);

// Walks the significant tokens of a range, skipping blanks and comments.
class CSqlCursor {
public:
    CSqlCursor(const CSqlTokens& tokens, size_t nBegin, size_t nEnd)
        : m_tokens(tokens), m_nEnd(nEnd), m_nPos(Skip(nBegin)) {}

    bool AtEnd() const { return m_nPos >= m_nEnd; }
    size_t Pos() const { return m_nPos; }
    size_t End() const { return m_nEnd; }
    void Seek(size_t nPos) { m_nPos = Skip(nPos); }
    const CSqlToken& Peek() const { return m_tokens[m_nPos]; }
    // The significant token after the current one, or null.
    const CSqlToken* PeekNext() const {
        size_t n = Skip(m_nPos + 1);
        return n < m_nEnd ? &m_tokens[n] : nullptr;
    }
    void Advance() { m_nPos = Skip(m_nPos + 1); }
    bool Accept(const wchar_t* pszWord) {
        if (AtEnd() || !SqlIs(Peek(), pszWord))
            return false;
        Advance();
        return true;
    }
    bool AcceptPunct(const wchar_t* pszPunct) {
        if (AtEnd() || !SqlIsPunct(Peek(), pszPunct))
            return false;
        Advance();
        return true;
    }
    bool IsWord(const wchar_t* pszWord) const { return !AtEnd() && SqlIs(Peek(), pszWord); }
    bool IsPunct(const wchar_t* pszPunct) const { return !AtEnd() && SqlIsPunct(Peek(), pszPunct); }
    // Past the parenthesised group the cursor stands on; false when it does not close.
    bool SkipGroup();
    // Past one token, or past the whole group when it opens one.
    void Step() {
        if (!(IsPunct(L"(") && SkipGroup()))
            Advance();
    }

private:
    size_t Skip(size_t n) const {
        while (n < m_nEnd && SqlIsBlank(m_tokens[n]))
            ++n;
        return n;
    }
    const CSqlTokens& m_tokens;
    size_t m_nEnd;
    size_t m_nPos;
};
