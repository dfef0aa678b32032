// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ClipKind.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

namespace scrivlet {

// A captured clipboard value on its way to the store; never persisted.
struct ClipContent
{
    struct Text
    {
        QString text;
    };
    // The plain text with at least one of its formatted forms.
    struct RichText
    {
        QString plain;
        std::optional<QByteArray> rtf;
        std::optional<QByteArray> html; // UTF-8
    };
    struct Image
    {
        QByteArray bytes; // PNG or TIFF exactly as read from the clipboard
    };
    struct Files
    {
        QStringList paths; // in clipboard order
    };

    std::variant<Text, RichText, Image, Files> value;

    static ClipContent text(QString text) { return {Text {std::move(text)}}; }
    static ClipContent richText(
        QString plain, std::optional<QByteArray> rtf, std::optional<QByteArray> html = std::nullopt)
    {
        return {RichText {std::move(plain), std::move(rtf), std::move(html)}};
    }
    static ClipContent image(QByteArray bytes) { return {Image {std::move(bytes)}}; }
    static ClipContent files(QStringList paths) { return {Files {std::move(paths)}}; }

    [[nodiscard]] ClipKind kind() const
    {
        constexpr ClipKind kinds[]
            = {ClipKind::text, ClipKind::richText, ClipKind::image, ClipKind::file};
        return kinds[value.index()];
    }
};

} // namespace scrivlet
