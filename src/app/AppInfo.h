#pragma once

namespace starloom {

// The program's home page, opened by "Goto Website".
inline constexpr char homePageUrl[] = "https://starloom-dx.example.org/";

// The program's reverse-DNS id: the name of its desktop entry, its icon and its AppStream
// metadata, and the id its windows carry on Wayland. The build reads it from here.
inline constexpr char appId[] = "org.example.starloom_dx";

} // namespace starloom
