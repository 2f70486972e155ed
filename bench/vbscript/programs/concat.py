parts = []
for i in range(1, 100001):
    parts.append("piece" + str(i))
s = "".join(parts)
print(len(s))
