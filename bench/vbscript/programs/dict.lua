local d, n = {}, 0
for i = 1, 100000 do d["k" .. i] = i; n = n + 1 end
local hits = 0
for i = 1, 100000 do local v = d["k" .. i]; if v then hits = hits + v end end
print(n, hits)
