vs_1_1
dcl_normal v1
dcl_color1 v2
mov a0.x, v1.x
m3x4 r0, v1, c[a0.x + 10]
lit r1, r0
expp oFog, r1.w
logp oPts.x, v2
mov oD1, c[a0.x]
