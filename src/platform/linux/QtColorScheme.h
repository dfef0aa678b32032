// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/services/ColorScheme.h"

#include <memory>

namespace scrivlet {

#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
// The light or dark scheme Qt's platform theme reads from the desktop (the
// Settings portal, GTK's or KDE's settings), followed as it changes.
class QtColorScheme : public ColorScheme
{
public:
    explicit QtColorScheme(QObject *parent = nullptr);

    [[nodiscard]] std::optional<bool> prefersDark() override;
    // Whether the platform theme says light or dark at all now.
    [[nodiscard]] static bool isKnown();
};
#endif

// Qt's own answer where its platform theme has one, else the desktop
// portal's. Needs the QGuiApplication.
[[nodiscard]] std::unique_ptr<ColorScheme> makeDesktopColorScheme(QObject *parent = nullptr);

} // namespace scrivlet
