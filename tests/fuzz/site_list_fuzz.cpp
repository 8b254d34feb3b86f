// ppe.txt as the fuzz input; see SiteListCheck.h.
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "SiteListCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return runCheck(
        [&] { checkSiteListFile(std::string(reinterpret_cast<const char*>(data), size)); });
}
