#!/usr/bin/python3
"""One engine profile's extraction the way Python scrapers write it: lxml.html
parses the page, the profile's XPath expressions (from engines.json) cut it.

Does what one profile extraction of ours does on the same UTF-8 page: the
block marks, the hits, per hit link, destination, title, snippet and display
URL, then the next link; texts are the shown text of the selected nodes
(scripts and styles left out, a <br> read as a space), white space made one
space. Times `iterations` extractions, keeps the best of `repetitions`, times
the parse alone the same way, and prints one JSON object: the seconds per
page, the parse's share, and the rows it found, so that the caller can check
that both sides found the same hits.

    lxml_extract.py PROFILES_JSON PROFILE_NAME PAGE_FILE ITERATIONS REPETITIONS
"""

import json
import re
import sys
import time
import urllib.parse

import lxml.etree
import lxml.html

# What our extraction leaves out of a node's text.
HIDDEN = frozenset(("script", "style", "noscript", "template"))
# The white space our normaliser folds: ASCII, U+0085, U+00A0, the Unicode
# spaces and separators; and the marks it drops.
SPACES = re.compile("[ \t\n\r\f\v\u0085\u00a0\u1680\u2000-\u200a\u2028\u2029\u202f\u205f\u3000]+")
MARKS = re.compile("[\u200b-\u200f\u2066-\u2069\ufeff]")


def normalise(text):
    return SPACES.sub(" ", MARKS.sub("", text)).strip(" ")


def shown_text(element, parts):
    tag = element.tag
    if not isinstance(tag, str):  # a comment or processing instruction
        return
    if tag == "br":
        parts.append(" ")
        return
    if tag in HIDDEN:
        return
    if element.text:
        parts.append(element.text)
    for child in element:
        shown_text(child, parts)
        if child.tail:
            parts.append(child.tail)


def text_of(result, first_only):
    """The text of an XPath result, as our extraction takes it."""
    if isinstance(result, list):
        parts = []
        for item in result:
            if isinstance(item, str):
                parts.append(item)
            else:
                shown_text(item, parts)
            if first_only:
                break
        return "".join(parts)
    if isinstance(result, bool):
        return "true" if result else "false"
    if isinstance(result, float):
        return str(int(result)) if result.is_integer() else repr(result)
    return str(result)


def unwrap(href, param, until):
    if not param:
        return href
    key = param + "="
    at = href.find(key)
    while at != -1:
        if at > 0 and href[at - 1] in "?&;/":
            value = href[at + len(key):]
            cut = min((value.find(c) for c in until if c in value), default=len(value))
            value = value[:cut]
            if "&" in until:
                decoded = urllib.parse.unquote_plus(value)
            else:
                decoded = urllib.parse.unquote(value)
            if decoded:
                return decoded
        at = href.find(key, at + 1)
    return href


class Profile:
    def __init__(self, definition):
        def compile_(key):
            text = definition.get(key, "")
            return lxml.etree.XPath(text) if text else None

        self.hits = compile_("hits")
        self.link = compile_("link")
        self.destination = compile_("destination")
        self.title = compile_("title")
        self.snippet = compile_("snippet")
        self.display_url = compile_("displayUrl")
        self.next = compile_("next")
        self.marks = [(b["reason"], lxml.etree.XPath(b["xpath"]))
                      for b in definition.get("blockedPages", [])]
        unwrap_ = definition.get("unwrap", {})
        self.param = unwrap_.get("param", "")
        self.until = unwrap_.get("until", "&")

    def extract(self, page):
        document = lxml.html.document_fromstring(page, parser=PARSER)
        for reason, mark in self.marks:
            if mark(document):
                return {"blocked": reason, "hits": [], "next": ""}
        rows = []
        for hit in self.hits(document):
            link = text_of(self.link(hit), True).strip(" \t\r\n")
            title = normalise(text_of(self.title(hit), False))
            if not link or not title:
                continue
            held = text_of(self.destination(hit), True).strip(" \t\r\n") \
                if self.destination is not None else ""
            rows.append({
                "url": held or unwrap(link, self.param, self.until),
                "title": title,
                "snippet": normalise(text_of(self.snippet(hit), False))
                           if self.snippet is not None else "",
                "displayUrl": normalise(text_of(self.display_url(hit), False))
                              if self.display_url is not None else "",
            })
        following = text_of(self.next(document), True) if self.next is not None else ""
        return {"blocked": "", "hits": rows, "next": following}


# The page comes as UTF-8 whatever its <meta> says, as it comes to ours.
PARSER = lxml.html.HTMLParser(encoding="utf-8")


def main():
    profiles_file, name, page_file, iterations, repetitions = sys.argv[1:6]
    with open(profiles_file, encoding="utf-8") as f:
        definitions = json.load(f)["profiles"]
    definition = next((d for d in definitions if d["name"] == name), None)
    if definition is None:
        sys.exit(f"no profile {name} in {profiles_file}")
    profile = Profile(definition)
    with open(page_file, "rb") as f:
        page = f.read()

    def best_seconds(work):
        best = float("inf")
        for _ in range(int(repetitions)):
            start = time.perf_counter()
            for _ in range(int(iterations)):
                work()
            best = min(best, (time.perf_counter() - start) / int(iterations))
        return best

    result = profile.extract(page)
    result["seconds"] = best_seconds(lambda: profile.extract(page))
    result["parseSeconds"] = best_seconds(
        lambda: lxml.html.document_fromstring(page, parser=PARSER))
    json.dump(result, sys.stdout, ensure_ascii=False)
    sys.stdout.write("\n")


if __name__ == "__main__":
    main()
