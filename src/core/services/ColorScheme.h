// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <optional>

namespace scrivlet {

// The desktop's light or dark preference.
class ColorScheme : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    // True for dark, false for light; none when the desktop does not say.
    [[nodiscard]] virtual std::optional<bool> prefersDark() = 0;

Q_SIGNALS:
    void changed();
};

} // namespace scrivlet
