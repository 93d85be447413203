// The demo's environment facts; all but the version depend on the machine,
// so only their codes are checked.
#include "cli/demo/DemoAreas.h"

namespace pennaform::cli {

void demoEnvironment(DemoContext& demo) {
    DemoRun& run = demo.run;
    run.call("the component's version", "GetVersion", {}, "4.2.3.0", 0);
    run.show("this system", "GetOSName", {}, {0});
    run.show("the user's home folder", "GetUserHomePath", {}, {0});
    // 5001: a machine whose only interface is the loopback one has none to show.
    run.show("the network adapters' addresses", "GetMacAddress", {}, {0, 5001});
}

}  // namespace pennaform::cli
