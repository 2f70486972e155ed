local s = "The quick brown fox jumps over the lazy dog"
local n = 0
for i = 1, 200000 do
  local st = (i % 10) + 1
  local t = string.sub(s, st, st + 11)
  local p = string.find(t, "o", 1, true) or 0
  n = n + p + #(string.gsub(t, "o", "00"))
end
print(n)
