; Water, shader path. c0-c3: world x view x projection, c4-c7: world (both transposed);
; c8 = (0.5, 2.5 / visibility range, scroll of the animation frame, scroll of the bump map); c9: water colour.
vs_1_1
; -(2 / visibility range)^2 x log2(e) over c8.y^2: the sky's exponential-squared fog, density 2 / range
def c10, -0.9233248, 0, 0, 0
dcl_position v0
dcl_texcoord0 v1
dcl_texcoord1 v2
dcl_texcoord2 v3
m4x4 oPos, v0, c0
m4x4 r0, v0, c4
mov oT0, v1
add oT1.xy, v2, c8.z
add oT2.xy, v3, c8.w
; the environment spans the visible water around the camera, centred on it
mad oT3.xy, r0.xz, c8.y, c8.x
mov oD0, c9
; a vertex shader writes its own fog: by the distance from the camera (at the origin), as range fog does
dp3 r1.x, r0, r0
mul r1.y, c8.y, c8.y
mul r1.x, r1.x, r1.y
mul r1.x, r1.x, c10.x
exp r1.z, r1.x
mov oFog, r1.z
