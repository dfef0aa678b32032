// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <optional>
#include <vector>

namespace scrivlet {

enum class AppAppearance { system, light, dark };

[[nodiscard]] QString rawValue(AppAppearance appearance);
// No case for any other string.
[[nodiscard]] std::optional<AppAppearance> appAppearanceFromRaw(const QString &raw);
// What the settings do with a stored string: unknown strings follow the system.
[[nodiscard]] AppAppearance appAppearanceOrSystem(const QString &raw);

struct Rgb
{
    double red;
    double green;
    double blue;
};

struct AccentChoice
{
    QString id;
    const char *nameKey; // the French label, translated where shown
    std::optional<Rgb> color; // none: the desktop's own accent

    static const std::vector<AccentChoice> &all();
    // The first choice with that id; the system accent when none has it.
    static const AccentChoice &by(const QString &id);
};

} // namespace scrivlet
