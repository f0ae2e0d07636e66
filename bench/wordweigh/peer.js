// Runs the peer keyphrase analysis (npm package yoastseo, installed beside
// this file) on the pages of a manifest and prints one JSON line per page:
// {"id", "scores": {identifier: score}, "overall", "ms"}.
//
// Usage: node peer.js MANIFEST
// The manifest is tab-separated: id, HTML file, page URL, key phrase, locale,
// title width in pixels (measured by the caller: the peer measures titles in
// a browser, which node has not).
//
// The peer is given what a site owner would type into it: the title, the
// meta description, the slug, and as text the page's content as its author
// wrote it: its <main> or role="main" element, else its body without the
// navigation blocks and tables of contents that documentation generators
// put around and into each page.
"use strict";

const fs = require("fs");
const path = require("path");
const { Paper, SeoAssessor } = require("yoastseo");
const { build } = require("yoastseo/build/parse/build");
const LanguageProcessor = require("yoastseo/build/parse/language/LanguageProcessor.js").default;
const htmlparser2 = require("htmlparser2");
const domutils = require("domutils");
const render = require("dom-serializer");

const researchers = {};
function researcherFor(language) {
    const known = ["en", "de", "fr", "es", "it", "nl", "pt", "ru", "sv", "pl"];
    const lang = known.includes(language) ? language : "en";
    if (!researchers[lang]) {
        researchers[lang] = require(`yoastseo/build/languageProcessing/languages/${lang}/Researcher`).default;
    }
    return researchers[lang];
}

function attr(el, name) {
    return (el.attribs && el.attribs[name]) || "";
}

function hasClass(el, name) {
    return attr(el, "class").split(/\s+/).includes(name);
}

function pageParts(html) {
    const doc = { children: htmlparser2.parseDOM(html, { decodeEntities: true }) };
    const title = domutils.findOne((e) => e.name === "title", doc.children, true);
    const meta = domutils.findOne(
        (e) => e.name === "meta" && attr(e, "name").toLowerCase() === "description",
        doc.children,
        true
    );
    let content = domutils.findOne(
        (e) => e.name === "main" || attr(e, "role").split(/\s+/).includes("main"),
        doc.children,
        true
    );
    if (!content) {
        const body = domutils.findOne((e) => e.name === "body", doc.children, true) || doc;
        for (const nav of domutils.findAll(
            (e) =>
                hasClass(e, "navheader") ||
                hasClass(e, "navfooter") ||
                hasClass(e, "toc") ||
                e.name === "nav",
            body.children || []
        ))
            domutils.removeElement(nav);
        content = body;
    }
    return {
        title: title ? domutils.getText(title).replace(/\s+/g, " ").trim() : "",
        description: meta ? attr(meta, "content").replace(/\s+/g, " ").trim() : "",
        text: render(content.children || [], { decodeEntities: false }),
    };
}

function analyse(line) {
    const [id, file, url, keyphrase, locale, titleWidth] = line.split("\t");
    const parts = pageParts(fs.readFileSync(file, "utf8"));
    const slug = path.basename(new URL(url).pathname).replace(/\.[a-z]+$/, "");
    const started = process.hrtime.bigint();
    const paper = new Paper(parts.text, {
        keyword: keyphrase,
        title: parts.title,
        description: parts.description,
        titleWidth: Number(titleWidth),
        slug,
        permalink: url,
        locale: locale || "en_US",
    });
    const Researcher = researcherFor((locale || "en").slice(0, 2));
    const researcher = new Researcher(paper);
    paper.setTree(build(paper, new LanguageProcessor(researcher)));
    const assessor = new SeoAssessor(researcher);
    assessor.assess(paper);
    const scores = {};
    let sum = 0;
    let count = 0;
    for (const result of assessor.getValidResults()) {
        const identifier = result.getIdentifier();
        scores[identifier] = result.getScore();
        sum += result.getScore();
        ++count;
    }
    const ms = Number(process.hrtime.bigint() - started) / 1e6;
    const overall = count ? Math.max(0, Math.min(100, Math.round((sum / (count * 9)) * 100))) : 0;
    return { id, scores, overall, ms };
}

function main() {
    const lines = fs.readFileSync(process.argv[2], "utf8").split("\n").filter((l) => l.trim());
    for (const line of lines) {
        try {
            process.stdout.write(JSON.stringify(analyse(line)) + "\n");
        } catch (e) {
            process.stdout.write(JSON.stringify({ id: line.split("\t")[0], error: String(e) }) + "\n");
        }
    }
}

if (require.main === module) main();
module.exports = { pageParts, analyse };
