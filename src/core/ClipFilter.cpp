// SPDX-License-Identifier: GPL-3.0-or-later
#include "ClipFilter.h"

#include <algorithm>

namespace scrivlet {

QString foldForSearch(const QString &text)
{
    // Plain ASCII has nothing to decompose: only its case to fold.
    if (std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; }))
        return text.toLower();
    // Canonical decomposition only: compatibility forms (widths) must stay apart.
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString folded;
    folded.reserve(decomposed.size());
    for (qsizetype i = 0; i < decomposed.size(); ++i) {
        char32_t code = decomposed.at(i).unicode();
        if (QChar::isHighSurrogate(code) && i + 1 < decomposed.size()
            && decomposed.at(i + 1).isLowSurrogate()) {
            code = QChar::surrogateToUcs4(decomposed.at(i), decomposed.at(i + 1));
            ++i;
        }
        // The marks a decomposed accented letter carries are its diacritics.
        if (QChar::category(code) == QChar::Mark_NonSpacing)
            continue;
        const char32_t lower = QChar::toCaseFolded(code);
        if (QChar::requiresSurrogates(lower)) {
            folded.append(QChar(QChar::highSurrogate(lower)));
            folded.append(QChar(QChar::lowSurrogate(lower)));
        } else {
            folded.append(QChar(char16_t(lower)));
        }
    }
    return folded;
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
