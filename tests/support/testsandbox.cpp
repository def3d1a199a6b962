// Linked into every test executable: the sandbox is in place before main()
// makes the application object.
#include "testsandbox.h"

namespace
{
const bool sandboxReady = (testsandbox::setUp(), true);
} // namespace
