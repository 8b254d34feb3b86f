// The desktop's own viewer for a document, as a double click would open it.
#pragma once

#include <filesystem>

// Starts the viewer on `document` and does not wait for it; false when it could not start.
bool openInDesktopViewer(const std::filesystem::path& document);
