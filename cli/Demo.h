#pragma once

#include <iosfwd>

namespace pennaform::cli {

// runDemo: the main job, end to end, on a fresh Engine in a fresh temporary
// home that is removed afterwards; one line of progress per step. Returns the
// exit status: 0 when every step gave what it should.
int runDemo(std::ostream& out);

}  // namespace pennaform::cli
