// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Result.h"

#include <QString>

namespace scrivlet {

// Moves a history whose key is gone out of the way, whole: its database, the
// database's journal files and its images go into a new folder beside them.
// Nothing is deleted. Returns the folder they were moved to.
[[nodiscard]] Result<QString> setAsideHistory(const QString &dataFolder);

} // namespace scrivlet
