local t = {}
for i = 1, 100000 do t[#t + 1] = "piece" .. i end
print(#table.concat(t))
