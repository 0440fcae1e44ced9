#pragma once

namespace starloom {

// The program's home page, opened by "Goto Website".
inline constexpr char homePageUrl[] = "https://starloom-dx.example.org/";

} // namespace starloom
