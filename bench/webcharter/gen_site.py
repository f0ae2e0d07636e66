#!/usr/bin/env python3
"""Generates a static site for the crawler benchmark: nested folders, internal,
external (127.0.0.2 only), mail and broken links, and a few server errors."""
import os, random, sys

def main():
    root, count = sys.argv[1], int(sys.argv[2])
    rnd = random.Random(count)
    paths = ["/index.html"]
    for i in range(1, count):
        folder = "/d%d/s%d/" % (i % 10, (i // 10) % 10) if i % 3 else "/d%d/" % (i % 10)
        paths.append(folder + "p%d.html" % i)
    for i, path in enumerate(paths):
        links = [c for c in (2 * i + 1, 2 * i + 2, 2 * i + 3) if c < count]
        links += [rnd.randrange(count) for _ in range(4)]
        body = ["<!DOCTYPE html><html><head><title>Page %d</title></head><body><h1>Page %d</h1>" % (i, i)]
        for target in links:
            body.append('<p>Text about item %d. <a href="%s">see %d</a></p>' % (target, paths[target], target))
        if i % 7 == 0:
            body.append('<a href="http://127.0.0.2:9/ext%d">outside</a>' % (i % 50))
        if i % 11 == 0:
            body.append('<a href="mailto:user%d@example.org">mail</a>' % (i % 20))
        if i % 13 == 0:
            body.append('<a href="/missing%d.html">broken</a>' % (i % 30))
        if i % 97 == 0:
            body.append('<a href="/err/e%d.html">error</a>' % (i % 5))
        body.append("</body></html>\n")
        full = os.path.join(root, path.lstrip("/"))
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w") as f:
            f.write("\n".join(body))

main()
