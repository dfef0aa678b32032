// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/services/Pasteboard.h"
#include "core/settings/PasteKeys.h"

#include <optional>

namespace scrivlet {

class ClipItem;
class ImageStore;
class KeySender;

// Puts a history entry back on the clipboard, with its formatting or as
// plain text, and posts the paste keystroke.
namespace Paster {

// Largest image, in pixels, that is written back (by its declared size).
inline constexpr qint64 kMaxImagePixels = 256LL * 1024 * 1024;

// What the entry offers, by MIME type; none when there is nothing to write
// (a missing image or bytes that are no image, a file entry without paths).
// Rich text offers its RTF and HTML beside the text; plain is the text
// alone, except for an image, which stays the image.
[[nodiscard]] std::optional<Pasteboard::Representations> representations(
    const ClipItem &item, bool plain, const ImageStore &images);

// Replaces the clipboard with the entry. When the entry has nothing to offer
// the clipboard keeps what it had, and the answer is false.
bool writeItem(const ClipItem &item, bool plain, const ImageStore &images, Pasteboard &pasteboard);

// The paste keystroke, only where keystrokes are trusted to reach other
// applications.
void simulatePasteKeystroke(KeySender &keys, PasteKey key = PasteKey::ctrlV);

} // namespace Paster

} // namespace scrivlet
