// The demo's registry steps, in the user's hive of the demo's home.
#include "cli/demo/DemoAreas.h"

namespace pennaform::cli {

void demoRegistry(DemoContext& demo) {
    DemoRun& run = demo.run;
    const std::u16string greeting = u"Software\\QUVO\\Pennaform\\Demo\\Greeting";
    const std::u16string count = u"Software\\QUVO\\Pennaform\\Demo\\Count";
    run.call("store a text in the user's registry", "RegWriteHKCUStr",
             {greeting, std::u16string(u"你好, Pennaform")}, "0", 0);
    run.call("read it back (names ignore letter case)", "RegReadHKCU",
             {std::u16string(u"software\\quvo\\pennaform\\demo\\GREETING")}, "你好, Pennaform", 0);
    run.call("store 4294967295 as a DWORD", "RegWriteHKCUInt", {count, std::int32_t(-1)}, "0", 0);
    run.call("a DWORD reads in signed decimal", "RegReadHKCU", {count}, "-1", 0);
    run.call("an address needs a backslash", "RegReadHKCU", {std::u16string(u"Greeting")}, "",
             5005);
}

}  // namespace pennaform::cli
