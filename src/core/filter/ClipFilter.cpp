// SPDX-License-Identifier: GPL-3.0-or-later
#include "ClipFilter.h"

#include <algorithm>
#include <iterator>

namespace scrivlet {

namespace {

// The blocks whose marks are the diacritics of letters. Other marks are part
// of what a letter is: Indic vowel signs and viramas, kana voicing marks.
bool isDiacritic(char32_t code)
{
    return (code >= 0x0300 && code <= 0x036F) || (code >= 0x1AB0 && code <= 0x1AFF)
        || (code >= 0x1DC0 && code <= 0x1DFF) || (code >= 0x20D0 && code <= 0x20FF)
        || (code >= 0xFE20 && code <= 0xFE2F);
}

// The code point at `i`, stepping `i` over a surrogate pair.
char32_t codePointAt(const QString &text, qsizetype &i)
{
    const QChar c = text.at(i);
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
        ++i;
        return QChar::surrogateToUcs4(c, text.at(i));
    }
    return c.unicode();
}

struct FullFolding
{
    char16_t code;
    const char16_t *folded;
};

// The foldings into several characters that survive decomposition: every
// other one belongs to a character that decomposes canonically into a letter
// and diacritics, which are stripped first. Qt folds one character into one.
constexpr FullFolding kFullFoldings[] = {
    {0x00DF, u"ss"}, // ß
    {0x0149, u"\u02BCn"}, // ŉ
    {0x0587, u"\u0565\u0582"}, // Armenian ech-yiwn
    {0x1E9A, u"a\u02BE"}, // ẚ
    {0x1E9E, u"ss"}, // ẞ
    {0xFB00, u"ff"},
    {0xFB01, u"fi"},
    {0xFB02, u"fl"},
    {0xFB03, u"ffi"},
    {0xFB04, u"ffl"},
    {0xFB05, u"st"},
    {0xFB06, u"st"},
    {0xFB13, u"\u0574\u0576"},
    {0xFB14, u"\u0574\u0565"},
    {0xFB15, u"\u0574\u056B"},
    {0xFB16, u"\u057E\u0576"},
    {0xFB17, u"\u0574\u056D"},
};

void appendFolded(QString &out, char32_t code)
{
    const bool mayFoldToSeveral = code == 0x00DF || code == 0x0149 || code == 0x0587
        || code == 0x1E9A || code == 0x1E9E || (code >= 0xFB00 && code <= 0xFB17);
    if (mayFoldToSeveral) {
        const auto found = std::find_if(std::begin(kFullFoldings), std::end(kFullFoldings),
            [code](const FullFolding &f) { return f.code == code; });
        if (found != std::end(kFullFoldings)) {
            out.append(QStringView(found->folded));
            return;
        }
    }
    const char32_t folded = QChar::toCaseFolded(code);
    if (QChar::requiresSurrogates(folded)) {
        out.append(QChar(QChar::highSurrogate(folded)));
        out.append(QChar(QChar::lowSurrogate(folded)));
    } else {
        out.append(QChar(char16_t(folded)));
    }
}

// Hangul syllables and kana decompose into parts that hold no diacritic;
// left whole, they need no recomposing.
bool keepsWhole(char32_t code)
{
    return (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0x3040 && code <= 0x30FF);
}

// The canonical decomposition without its diacritics, case folded.
void appendSearchForm(QString &out, char32_t code)
{
    if (isDiacritic(code))
        return;
    if (code >= 0xC0 && !keepsWhole(code) && QChar::decompositionTag(code) == QChar::Canonical) {
        const QString parts = QChar::decomposition(code);
        for (qsizetype i = 0; i < parts.size(); ++i)
            appendSearchForm(out, codePointAt(parts, i));
        return;
    }
    appendFolded(out, code);
}

} // namespace

QString foldForSearch(const QString &text)
{
    // Plain ASCII has nothing to decompose: only its case to fold.
    if (std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; }))
        return text.toLower();
    QString folded;
    folded.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i)
        appendSearchForm(folded, codePointAt(text, i));
    // Canonical composition, never compatibility (widths must stay apart):
    // decomposed input is recomposed, so that a Hangul syllable or a voiced
    // kana is one character and a query cannot match the first part of one;
    // marks are put in canonical order. Nearly free when already composed.
    return folded.normalized(QString::NormalizationForm_C);
}

std::vector<ClipItemPtr> filterClips(const std::vector<ClipItemPtr> &items, const QString &query)
{
    const QString trimmed = query.trimmed();
    if (trimmed.isEmpty())
        return items;
    const QString needle = foldForSearch(trimmed);
    std::vector<ClipItemPtr> kept;
    for (const ClipItemPtr &item : items) {
        if (foldForSearch(item->text()).contains(needle))
            kept.push_back(item);
    }
    return kept;
}

} // namespace scrivlet
