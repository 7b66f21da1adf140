#pragma once

#include <string_view>

// Whether two secrets are equal, in a time that does not depend on where they first differ, so that
// a peer who times the answers learns nothing of the secret. Only the length may show.
bool constantTimeEquals(std::string_view a, std::string_view b);
