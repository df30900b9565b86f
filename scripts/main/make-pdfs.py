#!/usr/bin/env python3
"""Writes small valid one-page PDF files (correct cross-reference offsets), one per
"name=Title text" argument, into a folder:  make-pdfs.py FOLDER Lease.pdf="Lease agreement" ..."""
import os
import sys


def pdf(title):
    text = title.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)")
    stream = "BT /F1 24 Tf 72 720 Td (%s) Tj ET\n" % text
    objects = [
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] "
        "/Resources << /Font << /F1 4 0 R >> >> /Contents 5 0 R >>",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
        "<< /Length %d >>\nstream\n%sendstream" % (len(stream.encode("latin-1")), stream),
        "<< /Title (%s) /Producer (dmslink main job) >>" % text,
    ]
    out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += ("%d 0 obj\n%s\nendobj\n" % (number, body)).encode("latin-1")
    xref = len(out)
    out += ("xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)).encode("ascii")
    for offset in offsets:
        out += ("%010d 00000 n \n" % offset).encode("ascii")
    out += ("trailer\n<< /Size %d /Root 1 0 R /Info 6 0 R >>\nstartxref\n%d\n%%%%EOF\n"
            % (len(objects) + 1, xref)).encode("ascii")
    return bytes(out)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for spec in sys.argv[2:]:
        name, _, title = spec.partition("=")
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(pdf(title or name))
        print(path)


if __name__ == "__main__":
    main()
