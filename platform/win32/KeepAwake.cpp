#include "platform/KeepAwake.h"

#include <windows.h>

namespace {

// The execution state belongs to the thread that set it, the window's, and ends with it. Windows
// lets no program keep a closed lid from suspending; that is the power plan's lid action.
class ExecutionStateHold final : public KeepAwake {
public:
    ExecutionStateHold()
        : held_(SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED) !=
                0) {}
    ~ExecutionStateHold() override {
        if (held_) {
            SetThreadExecutionState(ES_CONTINUOUS);
        }
    }
    bool holds() const override { return held_; }

private:
    bool held_;
};

}  // namespace

// The execution state takes no reason to show.
std::unique_ptr<KeepAwake> keepSystemAwake(const std::string&) {
    return std::make_unique<ExecutionStateHold>();
}
