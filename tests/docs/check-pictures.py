#!/usr/bin/env python3
"""The user guides and their pictures agree: every picture a guide shows exists, every picture in
docs/images/<language> is shown by a guide, and a guide shows a picture of another language only
where its own language has none of that name (the DMS's own dialogs exist in English only).
   check-pictures.py <docs folder>"""
import os
import re
import sys

docs = sys.argv[1]
guides = {"en": "user-guide.md", "de": "user-guide.de.md"}
faults = []
shown = set()
for language, guide in guides.items():
    with open(os.path.join(docs, guide), encoding="utf-8") as f:
        text = f.read()
    for picture in re.findall(r"!\[[^\]]*\]\(([^)\s]+)\)", text):
        shown.add(os.path.normpath(picture))
        if not os.path.isfile(os.path.join(docs, picture)):
            faults.append("%s shows %s, which does not exist" % (guide, picture))
            continue
        match = re.fullmatch(r"images/([a-z]{2})/([^/]+\.png)", picture)
        if not match:
            faults.append("%s shows %s, which is not a PNG file in images/<language>/" % (guide, picture))
        elif match.group(1) != language and os.path.isfile(os.path.join(docs, "images", language, match.group(2))):
            faults.append("%s shows %s although images/%s/%s exists" % (guide, picture, language, match.group(2)))
    if not any(p.startswith("images/%s/" % language) for p in shown):
        faults.append("%s shows no picture of images/%s" % (guide, language))
for language in guides:
    folder = os.path.join(docs, "images", language)
    for name in sorted(os.listdir(folder)):
        if os.path.normpath("images/%s/%s" % (language, name)) not in shown:
            faults.append("images/%s/%s is shown by no guide" % (language, name))
for fault in faults:
    print(fault)
print("%d pictures shown, %d fault(s)" % (len(shown), len(faults)))
sys.exit(1 if faults else 0)
