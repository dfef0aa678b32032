// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace scrivlet {

// The interface languages: the texts, and the names of keys in shortcuts.
enum class Language { french, english };

} // namespace scrivlet
