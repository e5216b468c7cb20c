// The assembly of every shader the system uses: the material effects' six pixel shaders and the water's
// two shader files (data/Shaders).
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace ShaderTexts {

inline const std::vector<std::pair<std::string, std::string>>& MaterialEffects() {
    static const std::vector<std::pair<std::string, std::string>> texts = {
        {"bump", "ps_1_1\ntex t0\ntex t1\nmul r0, t0, 1-t0.a\nmul r0, r0, v0\nmul r1, t1, t1.a\n"
                 "mad r0, r1, v0, r0\n"},
        {"environment over base", "ps_1_1\ntex t0\ntex t1\nmul r0, t0, v0\nmul r1, t1, t1.a\n"
                                  "mad r0.rgb, r1, c0, r0\n"},
        {"environment alone", "ps_1_1\ntex t0\nmul r0, t0, t0.a\nmad r0.rgb, r0, c0, v0\n+mov r0.a, v0.a\n"},
        {"bump and environment",
         "ps_1_1\ntex t0\ntex t1\ntex t2\nmul r0, t0, 1-t0.a\nmul r0, r0, v0\n"
         "mul r1, t1, t1.a\nmad r0, r1, v0, r0\nmul r1, t2, t2.a\nmad r0, r1, c0, r0\n"},
        {"bump and environment, frame-buffer alpha, texture with alpha",
         "ps_1_1\ntex t0\ntex t1\ntex t2\nmul r0.rgb, t0, 1-t0.a\n+mov r0.a, t0.a\nmul r0, r0, v0\n"
         "mul r1.rgb, t1, t1.a\n+mov r1.a, t1.a\nmad r0, r1, v0, r0\nmul r1, t2, t2.a\nmul r1, r1, r0.a\n"
         "mad r0, r1, c0, r0\n"},
        {"bump and environment, frame-buffer alpha",
         "ps_1_1\ntex t0\ntex t1\ntex t2\nmul r0.rgb, t0, 1-t0.a\n+mov r0.a, t0.a\nmul r0, r0, v0\n"
         "mul r1.rgb, t1, t1.a\n+mov r1.a, t1.a\nmad r0, r1, v0, r0\nmul r1, t2, r0.a\nmad r0, r1, c0, r0\n"},
    };
    return texts;
}

} // namespace ShaderTexts
