#!/usr/bin/env python3
"""Writes a site of N pages twice: built by scripts in the browser (an empty root
element and an inline script holding the page's data) and the same pages
pre-rendered by the server. Page i links to pages 10i+1..10i+10, to the root
and to its parent, so every page is reached only through links.
Usage: gen_site.py FOLDER PAGES"""
import json
import os
import sys

folder, count = sys.argv[1], int(sys.argv[2])
WORDS = ("catalogue shipping basket garden kitchen lamp chair table shelf rug "
         "cotton linen oak walnut brass copper glass stone paper clay").split()


def name(i):
    return "index.html" if i == 0 else f"p{i}.html"


def page_data(i):
    links = [name(c) for c in range(10 * i + 1, min(10 * i + 11, count))]
    links += [name(0), name((i - 1) // 10 if i else 0)]
    text = " ".join(WORDS[(i * 7 + k) % len(WORDS)] for k in range(220))
    return {"title": f"Product {i}", "h1": f"Product {i}", "text": text, "links": links,
            "description": f"All about product {i}"}


SCRIPT = """<script>
const d = DATA;
document.title = d.title;
const m = document.createElement('meta'); m.name = 'description'; m.content = d.description;
document.head.appendChild(m);
const root = document.getElementById('root');
const h = document.createElement('h1'); h.textContent = d.h1; root.appendChild(h);
const p = document.createElement('p'); p.textContent = d.text; root.appendChild(p);
const nav = document.createElement('nav');
for (const href of d.links) { const a = document.createElement('a'); a.href = href;
  a.textContent = href; nav.appendChild(a); }
root.appendChild(nav);
</script>"""

for kind in ("script", "rendered"):
    os.makedirs(os.path.join(folder, kind), exist_ok=True)
for i in range(count):
    d = page_data(i)
    built = ("<!DOCTYPE html><html><head><title>Shop</title></head><body>"
             "<div id=\"root\"></div>" + SCRIPT.replace("DATA", json.dumps(d)) +
             "</body></html>")
    links = "".join(f"<a href=\"{h}\">{h}</a>" for h in d["links"])
    served = ("<!DOCTYPE html><html><head><title>" + d["title"] + "</title>"
              "<meta name=\"description\" content=\"" + d["description"] + "\"></head><body>"
              "<div id=\"root\"><h1>" + d["h1"] + "</h1><p>" + d["text"] + "</p><nav>" + links +
              "</nav></div><script>window.analytics = [];</script></body></html>")
    with open(os.path.join(folder, "script", name(i)), "w") as f:
        f.write(built)
    with open(os.path.join(folder, "rendered", name(i)), "w") as f:
        f.write(served)
