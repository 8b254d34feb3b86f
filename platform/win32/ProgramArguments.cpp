#include "platform/ProgramArguments.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

#include "platform/UniqueHandle.h"

QStringList programArguments(int, char*[]) {
    int count = 0;
    const UniqueHandle<LPWSTR, LocalFree> words(CommandLineToArgvW(GetCommandLineW(), &count));
    QStringList arguments;
    for (int i = 0; words != nullptr && i < count; ++i) {
        arguments << QString::fromWCharArray(words.get()[i]);
    }
    return arguments;
}
