#!/usr/bin/env python3
"""Builds the page set of the Wordweigh comparison in OUT and writes
OUT/manifest.tsv (id, file, url, key phrase, locale).

Two kinds of pages:
- documentation pages from Debian's documentation packages
  (postgresql-doc-15, debian-reference-en), each with the key phrase of its
  main heading, section numbers removed;
- pages of small businesses, written here, each in a good, a middling and a
  weak variant, with the key phrase the business wants to be found for.

Usage: make_pages.py OUT
"""

import html
import os
import random
import re
import shutil
import sys
from html.parser import HTMLParser

DOC_PAGES = {
    "/usr/share/doc/postgresql-doc-15/html": [
        "ddl-constraints", "ddl-default", "ddl-schemas", "ddl-inherit", "ddl-partitioning",
        "ddl-alter", "ddl-priv", "tutorial-views", "tutorial-join", "tutorial-transactions",
        "tutorial-window", "tutorial-fk", "indexes-types", "indexes-unique", "indexes-partial",
        "indexes-multicolumn", "queries-with", "queries-order", "queries-limit",
        "datatype-numeric", "datatype-datetime", "datatype-json", "functions-string",
        "functions-math", "sql-insert", "sql-update", "wal-intro", "routine-vacuuming",
        "backup-dump", "sql-createtable", "sql-createindex", "sql-vacuum", "plpgsql-cursors",
        "triggers", "rules-views", "ddl-generated-columns", "sql-copy", "locale",
    ],
    "/usr/share/doc/debian-reference-common/docs": [
        "ch01.en", "ch02.en", "ch04.en", "ch06.en", "ch10.en",
    ],
}


class Heading(HTMLParser):
    """The page's main heading: its first h1, else its first h2 of class title."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.level = None
        self.found = {}
        self.text = ""

    def handle_starttag(self, tag, attrs):
        if tag in ("h1", "h2") and tag not in self.found and self.level is None:
            self.level = tag
            self.text = ""

    def handle_endtag(self, tag):
        if tag == self.level:
            self.found.setdefault(tag, self.text)
            self.level = None

    def handle_data(self, data):
        if self.level:
            self.text += data


def key_phrase(page_html):
    parser = Heading()
    parser.feed(page_html)
    text = parser.found.get("h1") or parser.found.get("h2") or ""
    text = re.sub(r"\s+", " ", text.replace("\u00a0", " ")).strip()
    text = re.sub(r"^(Chapter|Appendix)\s+[\dA-Z]+\.\s*", "", text)
    text = re.sub(r"^(\d+|[A-Z])(\.\d+)*\.\s*", "", text)
    text = re.sub(r"\s*\([^)]*\)", "", text)  # "Sorting Rows (ORDER BY)"
    text = text.replace(",", " ").strip()
    return text


# Small businesses: (slug, key phrase, name, town, things they do).
BUSINESSES = [
    ("sourdough-bakery", "sourdough bakery", "Hearth & Crumb", "Ashford",
     ["rye loaves", "spelt rolls", "morning buns", "seeded bread", "cinnamon knots"]),
    ("emergency-plumber", "emergency plumber", "Pipeline Repairs", "Leeds",
     ["burst pipes", "blocked drains", "boiler faults", "leaking taps", "frozen pipes"]),
    ("wedding-flowers", "wedding flowers", "Petal Lane", "Bath",
     ["bridal bouquets", "table centres", "buttonholes", "arches", "flower crowns"]),
    ("bike-repair", "bike repair", "Spoke Street Cycles", "Oxford",
     ["punctures", "gear tuning", "brake bleeding", "wheel truing", "chain wear"]),
    ("family-dentist", "family dentist", "Brightside Dental", "York",
     ["check-ups", "fillings", "hygiene visits", "children's care", "whitening"]),
    ("bookkeeping-services", "bookkeeping services", "Ledger Lane", "Norwich",
     ["payroll", "VAT returns", "year-end accounts", "invoicing", "cash-flow reports"]),
    ("dog-grooming", "dog grooming", "Scruffy to Fluffy", "Exeter",
     ["bath and dry", "hand stripping", "nail clipping", "puppy trims", "de-shedding"]),
    ("piano-lessons", "piano lessons", "Keys of Kew", "Richmond",
     ["scales", "sight reading", "grade exams", "jazz chords", "duets"]),
]

FILLER = [
    "We opened our doors in {town} more than ten years ago and still work from the same small shop.",
    "Every job starts with a conversation, so we understand what you need before we begin.",
    "Our prices are written down before any work starts, and they do not change afterwards.",
    "Customers tell us they come back because we are quick, careful and honest about costs.",
    "Parking is free on the street outside, and the bus stops two minutes away.",
    "We are open six days a week and answer the phone from eight in the morning.",
    "Local suppliers provide most of what we use, which keeps our work fresh and fair.",
    "Ask about our loyalty card: every tenth visit is on us.",
    "Gift vouchers are available in the shop and by phone for any amount.",
    "We train every new member of the team ourselves, for at least three months.",
    "Reviews from our neighbours mean more to us than any advertising could.",
    "If something is not right, tell us and we will put it right without argument.",
]


def sentence(rng, business):
    slug, phrase, name, town, things = business
    return rng.choice(FILLER).format(town=town)


def topical(rng, business, with_phrase):
    slug, phrase, name, town, things = business
    thing = rng.choice(things)
    if with_phrase:
        forms = [
            f"As a {phrase} in {town}, we take care of {thing} every day.",
            f"Our {phrase} team is known across {town} for {thing}.",
            f"People choose {name} as their {phrase} for {thing} and friendly advice.",
        ]
    else:
        forms = [
            f"We take care of {thing} every day.",
            f"Our team is known across {town} for {thing}.",
            f"People choose {name} for {thing} and friendly advice.",
        ]
    return rng.choice(forms)


def business_page(business, variant, rng):
    slug, phrase, name, town, things = business
    menu = "".join(f'<li><a href="/{p}.html">{p.title()}</a></li>'
                   for p in ("home", "about", "prices", "contact"))
    header = f'<header><a href="/">{name}</a><nav><ul>{menu}</ul></nav></header>'
    footer = (f"<footer><p>{name}, 12 High Street, {town}. "
              f'<a href="/privacy.html">Privacy</a></p></footer>')
    if variant == "good":
        title = f"{phrase.capitalize()} in {town} | {name}"
        description = (f"{name} is the {phrase} in {town}: "
                       f"{', '.join(things[:3])} and more, with fair prices and friendly advice. "
                       f"Call or visit us today.")
        intro = (f"<p>{name} is a {phrase} in {town}. "
                 + " ".join(sentence(rng, business) for _ in range(3)) + "</p>")
        sections = []
        for i, thing in enumerate(things):
            head = f"{thing.capitalize()} from your {phrase}" if i % 2 == 0 else thing.capitalize()
            body = " ".join([topical(rng, business, i % 2 == 0)]
                            + [sentence(rng, business) for _ in range(5)])
            sections.append(f"<h2>{html.escape(head)}</h2><p>{html.escape(body)}</p>")
        images = (f'<img src="/shop.jpg" alt="Inside our {phrase} in {town}">'
                  f'<img src="/team.jpg" alt="The {name} team">')
        links = (f'<p>We are members of the <a href="https://guild.example.net/">national '
                 f"trade guild</a> and follow its code of practice.</p>")
    elif variant == "middling":
        title = f"{name} - {phrase} - {town}"
        description = f"{name} in {town}. {', '.join(things[:2]).capitalize()}."
        intro = "<p>" + " ".join(sentence(rng, business) for _ in range(3)) + "</p>"
        sections = []
        for i, thing in enumerate(things[:3]):
            body = " ".join([topical(rng, business, i == 0)]
                            + [sentence(rng, business) for _ in range(4)])
            sections.append(f"<h2>{html.escape(thing.capitalize())}</h2><p>{html.escape(body)}</p>")
        images = f'<img src="/shop.jpg" alt="Our shop">'
        links = ""
    else:
        title = "Home"
        description = ""
        intro = "<p>" + " ".join(sentence(rng, business) for _ in range(2)) + "</p>"
        sections = ["<p>" + html.escape(" ".join([topical(rng, business, False)]
                                                  + [sentence(rng, business) for _ in range(4)]))
                    + "</p>"]
        images = ""
        links = ""
    meta = f'<meta name="description" content="{html.escape(description)}">' if description else ""
    return (f'<!DOCTYPE html><html lang="en"><head><meta charset="utf-8"><title>{html.escape(title)}'
            f"</title>{meta}</head><body>{header}<main><h1>{html.escape(name)}</h1>{intro}{images}"
            f"{''.join(sections)}{links}</main>{footer}</body></html>")


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    rows = []
    for folder, names in DOC_PAGES.items():
        for name in names:
            src = os.path.join(folder, name + ".html")
            if not os.path.exists(src):
                print(f"make_pages: {src} is missing; install the documentation package",
                      file=sys.stderr)
                continue
            dst = os.path.join(out, "doc-" + name + ".html")
            shutil.copyfile(src, dst)
            with open(src, encoding="utf-8", errors="replace") as f:
                phrase = key_phrase(f.read())
            if not phrase:
                continue
            rows.append(("doc-" + name, dst, f"https://docs.example.org/{name}.html", phrase,
                         "en_US"))
    rng = random.Random(13)
    for business in BUSINESSES:
        for variant in ("good", "middling", "weak"):
            page_id = f"{business[0]}-{variant}"
            dst = os.path.join(out, page_id + ".html")
            with open(dst, "w", encoding="utf-8") as f:
                f.write(business_page(business, variant, rng))
            path = business[0] if variant != "weak" else "index"
            rows.append((page_id, dst, f"https://{variant}.{business[0]}.example/{path}.html",
                         business[1], "en_US"))
    with open(os.path.join(out, "manifest.tsv"), "w", encoding="utf-8") as f:
        for row in rows:
            f.write("\t".join(row) + "\n")
    print(f"make_pages: {len(rows)} pages in {out}")


if __name__ == "__main__":
    main()
