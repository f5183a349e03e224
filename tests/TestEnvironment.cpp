// The variables every test may read, set before main() unless the caller set them.
#include <cstdlib>

namespace {

struct TestEnvironment {
    TestEnvironment()
    {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        setenv("MARBLEWAY_BIN_DIR", MARBLEWAY_TEST_BIN_DIR, 0);
        setenv("MARBLEWAY_SOURCE_DIR", MARBLEWAY_TEST_SOURCE_DIR, 0);
    }
};

const TestEnvironment environment;

} // namespace
