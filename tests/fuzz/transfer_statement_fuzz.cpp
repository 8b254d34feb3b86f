// The whole statement over a fuzzed out folder. The input is text, one line per entry:
//   c<site> <classroom> <subject>   the session codes (0042 007 eng when there is no such line)
//   f<name>|<content>[*<count>]     a file, its content repeated <count> times
//   d<name>                         an empty folder
//   l<name>|<target>                a symbolic link to <target> in the same folder
// The folder is made afresh, the statement written as the --statement command writes it, and
// both files are held to what the folder holds: the names of the answer shape, in order, with
// the sizes and checksums of their bytes, and for each row the notes its findings call for.
#include <fcntl.h>
#include <unistd.h>

#include <QString>
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "base/MessageBox.h"
#include "report/TransferStatement.h"
#include "session/KimRegister.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t maxEntries = 12;
constexpr std::size_t maxFileBytes = 100'000;

// The window-free statement shows no box; one would need a window to answer it.
bool boxShown = false;

struct Entry {
    char kind;            // 'f', 'd' or 'l'
    std::string content;  // a file's bytes, or a link's target
};

struct Folder {
    std::string site = "0042", classroom = "007", subject = "eng";
    std::map<std::string, Entry> entries;
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);) {
        parts.push_back(part);
    }
    return parts;
}

bool isCreatableName(const std::string& name) {
    return !name.empty() && name.size() <= 255 && name != "." && name != ".." &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

std::string repeated(std::string content) {
    const std::size_t star = content.rfind('*');
    if (star == std::string::npos || star + 1 == content.size() || star + 6 < content.size() ||
        !std::all_of(content.begin() + long(star) + 1, content.end(), isDigit)) {
        return content;
    }
    const std::size_t count = std::stoul(content.substr(star + 1));
    content.resize(star);
    std::string bytes;
    for (std::size_t i = 0; i < count && bytes.size() + content.size() <= maxFileBytes; ++i) {
        bytes += content;
    }
    return bytes;
}

Folder folderOf(const std::string& input) {
    Folder folder;
    std::vector<std::string> lines = split(input, '\n');
    for (const std::string& line : lines) {
        if (line.size() > 1 && line[0] == 'c') {
            std::vector<std::string> codes = split(line.substr(1), ' ');
            codes.resize(3);
            folder.site = codes[0], folder.classroom = codes[1], folder.subject = codes[2];
            break;
        }
    }
    // The statement's own files are left to it.
    const std::string reports =
        "report_" + folder.subject + "_" + folder.site + "-" + folder.classroom + ".";
    for (const std::string& line : lines) {
        if (line.empty() || folder.entries.size() == maxEntries) {
            continue;
        }
        const std::size_t bar = line.find('|');
        const std::string name = line.substr(1, bar == std::string::npos ? bar : bar - 1);
        const std::string rest = bar == std::string::npos ? "" : line.substr(bar + 1);
        if (!isCreatableName(name) || name.rfind(reports, 0) == 0 ||
            folder.entries.count(name) != 0) {
            continue;
        }
        if (line[0] == 'f') {
            folder.entries[name] = {'f', repeated(rest)};
        } else if (line[0] == 'd') {
            folder.entries[name] = {'d', {}};
        } else if (line[0] == 'l' && isCreatableName(rest) && rest.rfind(reports, 0) != 0) {
            folder.entries[name] = {'l', rest};
        }
    }
    return folder;
}

void create(const fs::path& out, const Folder& folder) {
    for (const auto& [name, entry] : folder.entries) {
        const fs::path path = out / name;
        if (entry.kind == 'f') {
            std::ofstream file(path, std::ios::binary);
            file.write(entry.content.data(), std::streamsize(entry.content.size()));
            require(file.good(), "answer file written");
        } else if (entry.kind == 'd') {
            require(fs::create_directory(path), "folder made");
        } else {
            require(::symlink(entry.content.c_str(), path.c_str()) == 0, "link made");
        }
    }
}

// The bytes of `name` when it is a regular file; nothing for a folder or a link, which the
// statement never follows out of the folder, whatever it points at.
std::optional<std::string> bytesOf(const Folder& folder, const std::string& name) {
    const auto entry = folder.entries.find(name);
    if (entry == folder.entries.end() || entry->second.kind != 'f') {
        return std::nullopt;
    }
    return entry->second.content;
}

// The checksum list's rule, byte by byte.
std::uint32_t checksumOf(const std::string& bytes) {
    std::uint32_t sum = 0;
    std::uint32_t index = 0;
    for (std::size_t at = 0; at < bytes.size(); at += 4, ++index) {
        std::uint32_t word = 0;
        for (std::size_t b = 0; b < 4 && at + b < bytes.size(); ++b) {
            word |= std::uint32_t(static_cast<unsigned char>(bytes[at + b])) << (8 * b);
        }
        sum ^= word ^ (index << (word % 4));
    }
    return sum;
}

std::string contentOf(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    require(file.is_open(), "statement file exists");
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

std::set<std::string> folderNames(const fs::path& out) {
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(out)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

void checkStatement(const fs::path& out, const Folder& folder) {
    const bool validCodes =
        folder.site.size() == 4 && folder.classroom.size() == 3 &&
        std::all_of(folder.site.begin(), folder.site.end(), isDigit) &&
        std::all_of(folder.classroom.begin(), folder.classroom.end(), isDigit) &&
        (folder.subject == "eng" || folder.subject == "nem" || folder.subject == "fra" ||
         folder.subject == "isp");
    std::set<std::string> before;
    for (const auto& [name, entry] : folder.entries) {
        before.insert(name);
    }

    const SessionCodes codes{QString::fromUtf8(folder.site), QString::fromUtf8(folder.classroom),
                             QString::fromUtf8(folder.subject)};
    const StatementResult result = writeTransferStatement(codes);

    if (!validCodes) {
        require(result.status == StatementStatus::InvalidCodes, "bad codes are refused");
        require(folderNames(out) == before, "bad codes write nothing");
        return;
    }
    require(result.status == StatementStatus::Written, "statement written");
    const std::string stem =
        "report_" + folder.subject + "_" + folder.site + "-" + folder.classroom;
    require(result.statementPath.toStdString() == "out/" + stem + ".htm", "statement path");
    std::set<std::string> after = before;
    after.insert({stem + ".htm", stem + ".crc"});
    require(folderNames(out) == after, "the statement's two files and nothing else are added");

    std::vector<std::string> answers;
    for (const std::string& name : before) {
        if (hasAnswerShape(name)) {
            answers.push_back(name);
        }
    }
    std::sort(answers.begin(), answers.end());

    std::string checksums;
    std::vector<std::optional<std::string>> bytes;
    for (const std::string& name : answers) {
        bytes.push_back(bytesOf(folder, name));
        char line[64];
        std::snprintf(line, sizeof line, ";%x;%lld\r\n",
                      bytes.back() ? checksumOf(*bytes.back()) : 0u,
                      bytes.back() ? static_cast<long long>(bytes.back()->size()) : -1LL);
        checksums += name + line;
    }
    require(contentOf(out / (stem + ".crc")) == checksums, "checksum list");

    const std::string page = contentOf(out / (stem + ".htm"));
    require(page.rfind("<html>\r\n", 0) == 0 && page.size() >= 7 &&
                page.compare(page.size() - 7, 7, "</html>") == 0,
            "page is whole");
    const std::string rowStart = "<tr  class=\"";
    require(occurrences(page, rowStart) == answers.size(), "one row per answer file");
    std::size_t at = page.find(rowStart);
    for (std::size_t row = 0; row < answers.size(); ++row) {
        const std::size_t next = page.find(rowStart, at + 1);
        const std::string text =
            page.substr(at, (next == std::string::npos ? page.find("</table>") : next) - at);
        at = next;

        const std::string& name = answers[row];
        const std::string kim = name.substr(13, 7);
        const std::optional<std::string>& file = bytes[row];
        std::set<std::string> sameKimElsewhere;
        for (const std::string& other : answers) {
            if (other.substr(13, 7) == kim && other.substr(0, 8) != name.substr(0, 8)) {
                sameKimElsewhere.insert(other.substr(0, 8));
            }
        }
        const std::size_t notes = (file ? 0 : 1) + (name.substr(9, 3) != folder.subject) +
                                  sameKimElsewhere.size() + !isValidKim(std::stoll(kim)) +
                                  (file && file->empty());
        const long long size = file ? static_cast<long long>(file->size()) : -1;
        require(text.rfind(rowStart + (notes == 0 ? "ok\">" : "err\">"), 0) == 0, "row colour");
        require(text.find("<td rowspan=1> " + std::to_string(row + 1) +
                          " <td class=\"l little\"><nobr>" + name + "</nobr><td> " +
                          std::to_string(size) + "  <td rowspan=1> <b>" + kim + "</b>") !=
                    std::string::npos,
                "row number, name, size and KIM");
        require(occurrences(text, "<br>") == notes, "one note per finding");
        require(notes != 0 || text.find("&bull;") != std::string::npos, "a clean row's mark");
        for (const std::string& pair : sameKimElsewhere) {
            require(occurrences(text, " " + pair + " <br>") == 1, "each other classroom once");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setMessageHandler([](const MessageRequest&) {
        boxShown = true;
        return MessageAnswer::Ok;
    });
    return runCheck([] { require(KimRegister::build(), "register built"); });
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return runCheck([&] {
        const Folder folder = folderOf(std::string(reinterpret_cast<const char*>(data), size));
        const fs::path out = scratchFolder() / "out";
        fs::remove_all(out);
        require(fs::create_directory(out), "out folder made");
        create(out, folder);

        // The statement works on "out" in the working folder, as the program does.
        const int home = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        require(home >= 0 && ::chdir(scratchFolder().c_str()) == 0, "into the scratch folder");
        checkStatement(out, folder);
        require(!boxShown, "no message box");
        require(::fchdir(home) == 0 && ::close(home) == 0, "back to the starting folder");
    });
}
