s = "The quick brown fox jumps over the lazy dog"
n = 0
for i in range(1, 200001):
    t = s[(i % 10):(i % 10) + 12]
    n = n + (t.find("o") + 1) + len(t.replace("o", "00"))
print(n)
