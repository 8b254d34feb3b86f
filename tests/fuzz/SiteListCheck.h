// Reading ppe.txt: the bytes are written as the file and read as the session set-up reads it, and
// the items are held to a decoding and cutting of the bytes done apart from Qt (iconv for
// windows-1251). Shared by the fuzz target and the regression test.
#pragma once

#include <iconv.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <array>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "session/SiteList.h"

namespace site_list_oracle {

// A windows-1251 byte the C library leaves unmapped; the reader may give any one character.
constexpr char32_t unmapped = 0xffffffff;

inline const std::array<char32_t, 256>& windows1251() {
    static const std::array<char32_t, 256> table = [] {
        std::array<char32_t, 256> codes{};
        iconv_t convert = iconv_open("UTF-32LE", "CP1251");
        require(convert != iconv_t(-1), "iconv knows CP1251");
        for (int byte = 0; byte < 256; ++byte) {
            char in = static_cast<char>(byte);
            char32_t out = 0;
            char* from = &in;
            char* to = reinterpret_cast<char*>(&out);
            std::size_t left = 1;
            std::size_t room = sizeof out;
            const bool mapped = iconv(convert, &from, &left, &to, &room) != std::size_t(-1);
            codes[byte] = mapped ? out : unmapped;
            iconv(convert, nullptr, nullptr, nullptr, nullptr);
        }
        iconv_close(convert);
        return codes;
    }();
    return table;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
inline std::optional<std::u32string> utf8CodePoints(const std::string& bytes) {
    std::u32string points;
    for (std::size_t at = 0; at < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[at]);
        std::size_t length;
        char32_t point;
        char32_t least;
        if (lead < 0x80) {
            length = 1, point = lead, least = 0;
        } else if ((lead & 0xe0) == 0xc0) {
            length = 2, point = lead & 0x1f, least = 0x80;
        } else if ((lead & 0xf0) == 0xe0) {
            length = 3, point = lead & 0x0f, least = 0x800;
        } else if ((lead & 0xf8) == 0xf0) {
            length = 4, point = lead & 0x07, least = 0x10000;
        } else {
            return std::nullopt;
        }
        if (at + length > bytes.size()) {
            return std::nullopt;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[at + k]);
            if ((next & 0xc0) != 0x80) {
                return std::nullopt;
            }
            point = point << 6 | (next & 0x3f);
        }
        if (point < least || point > 0x10ffff || (point >= 0xd800 && point <= 0xdfff)) {
            return std::nullopt;
        }
        points += point;
        at += length;
    }
    return points;
}

// The file as characters: CR LF taken as LF; UTF-8 when it is valid and not plain ASCII (a
// leading byte-order mark dropped), windows-1251 otherwise.
inline std::u32string charactersOf(const std::string& file) {
    std::string bytes;
    bool ascii = true;
    for (std::size_t at = 0; at < file.size(); ++at) {
        if (file[at] == '\r' && at + 1 < file.size() && file[at + 1] == '\n') {
            continue;
        }
        bytes += file[at];
        ascii = ascii && static_cast<unsigned char>(file[at]) < 0x80;
    }
    if (!ascii) {
        if (std::optional<std::u32string> points = utf8CodePoints(bytes)) {
            if (!points->empty() && points->front() == 0xfeff) {
                points->erase(0, 1);
            }
            return *points;
        }
    }
    std::u32string points;
    for (const char byte : bytes) {
        points += windows1251()[static_cast<unsigned char>(byte)];
    }
    return points;
}

// As fgets into a 1,024-byte buffer would cut the characters: up to 1,023 of them, through the
// first line feed, which is dropped, and nothing after a NUL.
inline std::vector<std::u32string> piecesOf(const std::u32string& text) {
    std::vector<std::u32string> pieces;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = start;
        while (end < text.size() && end - start < SiteList::maxPieceLength) {
            if (text[end++] == U'\n') {
                break;
            }
        }
        std::u32string piece = text.substr(start, end - start);
        if (!piece.empty() && piece.back() == U'\n') {
            piece.pop_back();
        }
        pieces.push_back(piece.substr(0, piece.find(U'\0')));
        start = end;
    }
    return pieces;
}

inline bool sameCharacters(const QString& item, const std::u32string& expected) {
    const QList<uint> got = item.toUcs4();
    if (std::size_t(got.size()) != expected.size()) {
        return false;
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const bool any = expected[i] == unmapped && got[i] != U'\0' && got[i] != U'\n';
        if (got[i] != expected[i] && !any) {
            return false;
        }
    }
    return true;
}

}  // namespace site_list_oracle

// Writes `bytes` as ppe.txt in the scratch folder, reads it as the session set-up does and holds
// the items to the oracle.
inline void checkSiteListFile(const std::string& bytes) {
    const std::string path = (scratchFolder() / "ppe.txt").string();
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), std::streamsize(bytes.size()));
        require(file.good(), "ppe.txt written");
    }

    const SiteList sites(QFile::decodeName(path.c_str()));
    require(sites.isReadable(), "ppe.txt readable");
    require(sites.items() ==
                SiteList::itemsOf(QByteArray(bytes.data(), qsizetype(bytes.size()))).value(),
            "the file gives the items of its bytes");

    const std::vector<std::u32string> expected =
        site_list_oracle::piecesOf(site_list_oracle::charactersOf(bytes));
    require(std::size_t(sites.items().size()) == expected.size(), "one item per piece");
    for (std::size_t i = 0; i < expected.size(); ++i) {
        require(site_list_oracle::sameCharacters(sites.items()[qsizetype(i)], expected[i]),
                "each item holds its piece's characters");
    }
}
