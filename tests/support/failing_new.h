// A test program that makes allocations fail on purpose links
// failing_new.cpp, whose replaced operator new asks this function, defined
// once by the program's test, before each allocation: true throws
// std::bad_alloc instead.
#pragma once

namespace velkarin::test {

bool FailThisAllocation();

}  // namespace velkarin::test
