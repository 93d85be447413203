// The demo's first steps: the readers of a fresh Engine and the retired
// export, whose code the readers then report without changing it.
#include "cli/demo/DemoAreas.h"

namespace pennaform::cli {

void demoErrorModel(DemoContext& demo) {
    DemoRun& run = demo.run;
    run.call("the port constant", "GetPortEx", {}, "65537", 0);
    run.call("message of a fresh engine", "GetErrorMsg", {}, "成功(0)", 0);
    run.call("platform message of a fresh engine", "GetCapiErrorMsg", {}, "成功(0)", 0);
    run.call("the retired export", "_SelectSignerINS@12", {1, 2, 3}, "5004", 5004);
    run.call("its message, read back", "GetErrorMsg", {}, "不支援的功能(5004)", 5004);
    run.call("read again: readers change nothing", "GetErrorCode", {}, "5004", 5004);
    run.call("the platform error was left alone", "GetCapiErrorMsg", {}, "成功(0)", 5004);
}

}  // namespace pennaform::cli
