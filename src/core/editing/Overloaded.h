#pragma once

namespace starloom {

// A visitor made of lambdas: std::visit(Overloaded{[](const A&) {...}, [](const auto&) {...}}, v).
template <class... Fs> struct Overloaded : Fs... {
    using Fs::operator()...;
};
template <class... Fs> Overloaded(Fs...) -> Overloaded<Fs...>;

} // namespace starloom
