// Checks the English catalogue against the code: every Japanese text in the sources is either
// marked for translation (Tr, TrArgs, the window's QTr, N_) or marked as data (DATA_TEXT), and
// every marked text has an English translation in po/en/*.po that keeps its placeholders.
#include "support/japanese_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using tarvok::test::HasJapanese;

fs::path SourceRoot()
{
    const char* dir = std::getenv("TARVOK_SOURCE_DIR");
    return dir ? fs::path(dir) : fs::path();
}

std::string ReadAll(const fs::path& pPath)
{
    std::ifstream in(pPath, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The text of a C string literal's body with its escapes resolved (\n \t \" \\ \').
std::string Unescape(const std::string& pBody)
{
    std::string out;
    for (size_t i = 0; i < pBody.size(); ++i) {
        if (pBody[i] != '\\' || i + 1 == pBody.size()) {
            out.push_back(pBody[i]);
            continue;
        }
        const char c = pBody[++i];
        out.push_back(c == 'n' ? '\n' : c == 't' ? '\t' : c);
    }
    return out;
}

struct Literal {
    std::string File;
    int Line = 0;
    std::string Text; // adjacent literals joined
    std::string Marker; // the called name just before "(", if any
};

bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// The name of the call whose "(" comes right before pAt (blanks skipped), or empty.
std::string CallBefore(const std::string& pCode, size_t pAt)
{
    size_t i = pAt;
    while (i > 0 && std::isspace(static_cast<unsigned char>(pCode[i - 1])))
        --i;
    if (i == 0 || pCode[i - 1] != '(')
        return {};
    --i;
    while (i > 0 && std::isspace(static_cast<unsigned char>(pCode[i - 1])))
        --i;
    const size_t end = i;
    while (i > 0 && IsIdentChar(pCode[i - 1]))
        --i;
    return pCode.substr(i, end - i);
}

// Every string literal of a C++ source (comments and character literals skipped), with
// literals that only blanks separate joined into one, as the compiler joins them.
std::vector<Literal> LiteralsOf(const std::string& pFile, const std::string& pCode)
{
    std::vector<Literal> out;
    int line = 1;
    size_t i = 0;
    size_t lastEnd = std::string::npos; // where the previous literal ended
    auto count = [&](size_t pFrom, size_t pTo) {
        for (size_t k = pFrom; k < pTo && k < pCode.size(); ++k)
            line += pCode[k] == '\n' ? 1 : 0;
    };
    while (i < pCode.size()) {
        const char c = pCode[i];
        if (c == '/' && i + 1 < pCode.size() && pCode[i + 1] == '/') {
            const size_t end = pCode.find('\n', i);
            i = end == std::string::npos ? pCode.size() : end;
            continue;
        }
        if (c == '/' && i + 1 < pCode.size() && pCode[i + 1] == '*') {
            const size_t end = pCode.find("*/", i + 2);
            const size_t stop = end == std::string::npos ? pCode.size() : end + 2;
            count(i, stop);
            i = stop;
            continue;
        }
        if (c == '\'' && !(i > 0 && IsIdentChar(pCode[i - 1]))) {
            size_t k = i + 1;
            while (k < pCode.size() && pCode[k] != '\'')
                k += pCode[k] == '\\' ? 2 : 1;
            i = k + 1;
            continue;
        }
        if (c != '"') {
            line += c == '\n' ? 1 : 0;
            if (!std::isspace(static_cast<unsigned char>(c)))
                lastEnd = std::string::npos;
            ++i;
            continue;
        }
        const bool raw = i > 0 && pCode[i - 1] == 'R';
        std::string body;
        size_t end = 0;
        if (raw) {
            const size_t open = pCode.find('(', i);
            const std::string close = ")" + pCode.substr(i + 1, open - i - 1) + "\"";
            const size_t stop = pCode.find(close, open);
            body = pCode.substr(open + 1, stop - open - 1);
            end = stop + close.size();
        } else {
            size_t k = i + 1;
            while (k < pCode.size() && pCode[k] != '"')
                k += pCode[k] == '\\' ? 2 : 1;
            body = Unescape(pCode.substr(i + 1, k - i - 1));
            end = k + 1;
        }
        if (lastEnd != std::string::npos && !out.empty())
            out.back().Text += body;
        else
            out.push_back({ pFile, line, body, CallBefore(pCode, raw ? i - 1 : i) });
        count(i, end);
        i = end;
        lastEnd = end;
    }
    return out;
}

std::vector<Literal> SourceLiterals()
{
    std::vector<Literal> all;
    for (const auto& entry : fs::recursive_directory_iterator(SourceRoot() / "src")) {
        const std::string ext = entry.path().extension().string();
        if (ext != ".cpp" && ext != ".h")
            continue;
        const std::string name = fs::relative(entry.path(), SourceRoot()).string();
        for (Literal& literal : LiteralsOf(name, ReadAll(entry.path())))
            all.push_back(std::move(literal));
    }
    return all;
}

bool IsTranslated(const std::string& pMarker)
{
    return pMarker == "Tr" || pMarker == "TrArgs" || pMarker == "QTr" || pMarker == "N_";
}

// The catalogue entries: msgid → msgstr, fuzzy entries counted as untranslated.
std::map<std::string, std::string> CatalogueEntries()
{
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::directory_iterator(SourceRoot() / "po" / "en")) {
        if (entry.path().extension() != ".po")
            continue;
        std::istringstream in(ReadAll(entry.path()));
        std::string row;
        std::string id;
        std::string text;
        std::string* into = nullptr;
        bool fuzzy = false;
        auto flush = [&] {
            if (!id.empty())
                entries[id] = fuzzy ? std::string() : text;
            id.clear();
            text.clear();
            into = nullptr;
            fuzzy = false;
        };
        auto quoted = [](const std::string& pRow) {
            const size_t open = pRow.find('"');
            const size_t close = pRow.rfind('"');
            return open == close ? std::string()
                                 : Unescape(pRow.substr(open + 1, close - open - 1));
        };
        while (std::getline(in, row)) {
            if (row.rfind("msgid ", 0) == 0) {
                flush();
                id = quoted(row);
                into = &id;
            } else if (row.rfind("msgstr ", 0) == 0) {
                text = quoted(row);
                into = &text;
            } else if (!row.empty() && row[0] == '"' && into != nullptr) {
                *into += quoted(row);
            } else if (row.rfind("#,", 0) == 0 && row.find("fuzzy") != std::string::npos) {
                flush();
                fuzzy = true;
            }
        }
        flush();
    }
    return entries;
}

std::set<std::string> PlaceholdersOf(const std::string& pText)
{
    std::set<std::string> found;
    for (size_t i = 0; i + 1 < pText.size(); ++i)
        if (pText[i] == '%' && pText[i + 1] >= '1' && pText[i + 1] <= '9')
            found.insert(pText.substr(i, 2));
    return found;
}

// At most 60 findings, then how many more there are (all of them when TARVOK_LIST_ALL is set).
std::string Listing(const std::vector<std::string>& pRows)
{
    const size_t kShown = std::getenv("TARVOK_LIST_ALL") != nullptr ? pRows.size() : 60;
    std::string out;
    for (size_t i = 0; i < pRows.size() && i < kShown; ++i)
        out += pRows[i] + "\n";
    if (pRows.size() > kShown)
        out += "… and " + std::to_string(pRows.size() - kShown) + " more\n";
    return out;
}

TEST(Catalogue, EveryJapaneseTextIsMarked)
{
    ASSERT_FALSE(SourceRoot().empty()) << "TARVOK_SOURCE_DIR is not set";
    std::vector<std::string> unmarked;
    for (const Literal& literal : SourceLiterals())
        if (HasJapanese(literal.Text) && !IsTranslated(literal.Marker)
            && literal.Marker != "DATA_TEXT")
            unmarked.push_back(
                literal.File + ":" + std::to_string(literal.Line) + ": \"" + literal.Text + "\"");
    EXPECT_TRUE(unmarked.empty()) << "Japanese texts outside Tr, TrArgs, N_ or DATA_TEXT:\n"
                                  << Listing(unmarked);
}

TEST(Catalogue, EveryMarkedTextHasItsEnglishText)
{
    ASSERT_FALSE(SourceRoot().empty()) << "TARVOK_SOURCE_DIR is not set";
    const std::map<std::string, std::string> entries = CatalogueEntries();
    std::vector<std::string> missing;
    std::vector<std::string> wrong;
    for (const Literal& literal : SourceLiterals()) {
        if (!IsTranslated(literal.Marker) || literal.Text.empty())
            continue;
        const auto found = entries.find(literal.Text);
        const std::string where
            = literal.File + ":" + std::to_string(literal.Line) + ": \"" + literal.Text + "\"";
        if (found == entries.end() || found->second.empty())
            missing.push_back(where);
        else if (HasJapanese(found->second))
            wrong.push_back(where + " → \"" + found->second + "\" is not English");
        else if (PlaceholdersOf(found->second) != PlaceholdersOf(literal.Text))
            wrong.push_back(where + " → \"" + found->second + "\" changes the placeholders");
    }
    EXPECT_TRUE(missing.empty()) << "texts without an English text in po/en "
                                    "(scripts/update-catalogue.sh adds them):\n"
                                 << Listing(missing);
    EXPECT_TRUE(wrong.empty()) << Listing(wrong);
}

TEST(Catalogue, ReaderSeesMarkersJoinedLiteralsAndComments)
{
    const std::string code
        = "// \"コメント\"\nauto a = Tr(\"前\" \"後\");\n"
          "auto b = DATA_TEXT( \"ヘッダ\" );\nchar q = '\"';\n"
          "/* \"消去\" */ auto c = TrArgs(\"%1行目\", n);\nauto d = f(\"素\");\n";
    const std::vector<Literal> literals = LiteralsOf("x.cpp", code);
    ASSERT_EQ(literals.size(), 4u);
    EXPECT_EQ(literals[0].Text, "前後");
    EXPECT_EQ(literals[0].Marker, "Tr");
    EXPECT_EQ(literals[0].Line, 2);
    EXPECT_EQ(literals[1].Marker, "DATA_TEXT");
    EXPECT_EQ(literals[2].Marker, "TrArgs");
    EXPECT_EQ(literals[2].Line, 5);
    EXPECT_EQ(literals[3].Marker, "f");
    EXPECT_TRUE(HasJapanese(literals[3].Text));
    EXPECT_FALSE(HasJapanese("plain %1 text"));
}

} // namespace
