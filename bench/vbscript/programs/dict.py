d = {}
for i in range(1, 100001):
    d["k" + str(i)] = i
hits = 0
for i in range(1, 100001):
    k = "k" + str(i)
    if k in d:
        hits += d[k]
print(len(d), hits)
