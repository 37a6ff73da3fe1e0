#pragma once

#include <string_view>

namespace ini::test {

// The example file the tests share, eleven lines with CR LF ends: a block nested three deep
// around a comment line and a line with a comment, then a small block whose opener has one.
inline constexpr std::string_view exampleFile = "Object Alpha\r\n"        // 0
                                                "  ; tuning\r\n"          // 1
                                                "  Speed = 10 ; fast\r\n" // 2
                                                "  Draw = ModelA\r\n"     // 3
                                                "    DefaultConditionState\r\n"
                                                "      Model = M1\r\n"     // 5
                                                "    End\r\n"              // 6
                                                "  End\r\n"                // 7
                                                "End\r\n"                  // 8
                                                "Object Beta ; second\r\n" // 9
                                                "End\r\n";                 // 10

} // namespace ini::test
