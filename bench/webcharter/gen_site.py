#!/usr/bin/env python3
"""Generates a static site for the crawler benchmark: nested folders, internal,
external (127.0.0.2 only), mail and broken links, and a few server errors.
Usage: gen_site.py ROOT PAGES [EXTERNAL_PORT] [--large]
--large: pages of 30-150 KB with the markup of real pages (navigation, tables,
scripts, styles, comments, long text), as content-managed sites serve them."""
import os, random, sys

WORDS = ("site page owner search engine market product service price order "
         "delivery contact about news article review customer support guide "
         "history team office city travel garden house music photo").split()

def filler(rnd, size):
    """Realistic body markup of about size bytes."""
    out, total = [], 0
    while total < size:
        kind = rnd.randrange(6)
        text = " ".join(rnd.choice(WORDS) for _ in range(rnd.randrange(20, 80)))
        if kind == 0:
            chunk = '<div class="card"><h3>%s</h3><p class="lead">%s</p></div>' % (text[:30], text)
        elif kind == 1:
            rows = "".join('<tr><td>%s</td><td class="num">%d</td><td><span>%s</span></td></tr>'
                           % (rnd.choice(WORDS), rnd.randrange(9999), rnd.choice(WORDS))
                           for _ in range(rnd.randrange(3, 12)))
            chunk = '<table class="data"><thead><tr><th>a</th><th>b</th><th>c</th></tr></thead><tbody>%s</tbody></table>' % rows
        elif kind == 2:
            chunk = ('<script>window.dataLayer=window.dataLayer||[];function g(){dataLayer.push(arguments)}'
                     'var s="%s";if(a<b&&c>d){g("x")}</script>' % text[:60])
        elif kind == 3:
            chunk = '<!-- %s --><p>%s &amp; %s &copy; 2024</p>' % (text[:40], text, rnd.choice(WORDS))
        elif kind == 4:
            chunk = ('<ul class="nav">%s</ul>' % "".join(
                '<li><a href="#s%d" class="anchor">%s</a></li>' % (k, rnd.choice(WORDS)) for k in range(8)))
        else:
            chunk = ('<figure><img src="/img/pic%d.png" alt="%s" width="320" height="200">'
                     '<figcaption>%s</figcaption></figure>' % (rnd.randrange(20), text[:20], text[:60]))
        out.append(chunk)
        total += len(chunk)
    return "\n".join(out)

def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    large = "--large" in sys.argv
    root, count = args[0], int(args[1])
    ext_port = int(args[2]) if len(args) > 2 else 9
    rnd = random.Random(count)
    paths = ["/index.html"]
    for i in range(1, count):
        folder = "/d%d/s%d/" % (i % 10, (i // 10) % 10) if i % 3 else "/d%d/" % (i % 10)
        paths.append(folder + "p%d.html" % i)
    head = "<!DOCTYPE html><html><head><title>Page %d</title>"
    if large:
        head += ('<meta charset="utf-8"><link rel="stylesheet" href="/css/site.css">'
                 '<style>body{font:14px sans-serif}.card>h3{margin:0}</style></head><body>'
                 '<header><nav><a href="/index.html">Home</a> <a href="/d1/p1.html">One</a></nav></header>')
    else:
        head += "</head><body>"
    for i, path in enumerate(paths):
        links = [c for c in (2 * i + 1, 2 * i + 2, 2 * i + 3) if c < count]
        links += [rnd.randrange(count) for _ in range(4)]
        body = [(head + "<h1>Page %d</h1>") % (i, i)]
        for target in links:
            body.append('<p>Text about item %d. <a href="%s">see %d</a></p>' % (target, paths[target], target))
            if large:
                body.append(filler(rnd, rnd.randrange(30000, 150000) // 8))
        if i % 7 == 0:
            body.append('<a href="http://127.0.0.2:%d/ext%d">outside</a>' % (ext_port, i % 50))
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
