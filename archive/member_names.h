// Member names of ZIP archives as UTF-8, whichever encoding the archive's maker wrote them in.
#pragma once

#include <string>
#include <string_view>

namespace elevara {

// A member name as UTF-8, from the bytes the archive holds. Names are UTF-8 when the archive
// says so and, in practice, whenever their bytes read as UTF-8; older archives hold the maker's
// code page without saying which: Shift-JIS (code page 932) where Japanese Windows made them,
// code page 437 by the ZIP standard. So the bytes are taken as UTF-8 when they are, as code page
// 932 when they read as that, and as code page 437, which reads any bytes, otherwise.
std::string DecodeMemberName(std::string_view raw);

}  // namespace elevara
