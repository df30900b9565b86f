#!/usr/bin/env python3
"""The policy templates and the package write the key and the value names the plug-in reads, taken
from its sources (TSPreferences.cpp, TSServerList.cpp, CAPSettings.cpp); every text and presentation
the ADMX refers to is in both ADMLs, and the German one is translated.
   check-names.py <source root>"""
import re
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

root = Path(sys.argv[1])
problems = []


def source(path):
    return (root / path).read_text(encoding="utf-8")


# The key: GetSettingsKeyPath(Settings) + "\Tessera", the settings path built from its segments.
settings_cpp = source("support/Utilities/CAPSettings.cpp")
segments = dict(re.findall(r'(\w+) = L"((?:[^"\\]|\\\\)*)\\\\"', settings_cpp))
def joined(expression):
    return "\\".join(segments[term.strip().removeprefix("s.")] for term in expression.split("+"))
segments["version"] = joined(re.search(r"const std::wstring version = ([^;]+);", settings_cpp).group(1))
settings = joined(re.search(r"case Settings: path = ([^;]+);", settings_cpp).group(1))
suffixes = set()
for cpp in ("dmslink/module/TSPreferences.cpp", "dmslink/dms/TSServerList.cpp"):
    suffixes |= set(re.findall(r'GetSettingsKeyPath\(Settings\) \+ L"\\\\(\w+)"', source(cpp)))
if len(suffixes) != 1:
    problems.append(f"the plug-in's sources name the Tessera key differently: {sorted(suffixes)}")
plugin_key = settings + "\\" + min(suffixes, default="?")

preferences = re.findall(r'ReadPreference(?:Flag|Seconds)\(key\.get\(\), L"(\w+)"', source("dmslink/module/TSPreferences.cpp"))
server = re.findall(r'const wchar_t k\w+Value\[\] = L"(\w+)";', source("dmslink/dms/TSServerList.cpp"))
if len(preferences) != 7 or len(server) != 5:
    problems.append(f"found {len(preferences)} preferences and {len(server)} server values in the sources")
plugin_names = set(preferences) | set(server)

# The Group Policy client writes the 64-bit view, where the 32-bit plug-in's SOFTWARE is WOW6432Node.
admx_key = plugin_key.replace("SOFTWARE\\", "SOFTWARE\\WOW6432Node\\", 1)
ns = {"p": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}
admx_text = (root / "policies/Tessera.admx").read_text(encoding="utf-8")
admx = ET.fromstring(admx_text)
admx_names = set()
for policy in admx.iterfind(".//p:policy", ns):
    name = policy.get("name")
    if policy.get("key") != admx_key:
        problems.append(f"policy {name}: key {policy.get('key')}, wanted {admx_key}")
    for named in [policy] + policy.findall("p:elements/*", ns):
        if named.get("valueName"):
            admx_names.add(named.get("valueName"))
    # A flag is on exactly when its text is "1".
    for on, off in (("p:enabledValue", "p:disabledValue"), ("p:elements/p:boolean/p:trueValue", "p:elements/p:boolean/p:falseValue")):
        for value, wanted in [(v, "1") for v in policy.findall(on + "/p:string", ns)] + \
                             [(v, "0") for v in policy.findall(off + "/p:string", ns)]:
            if value.text != wanted:
                problems.append(f"policy {name}: a flag written as '{value.text}', wanted '{wanted}'")
if admx_names != plugin_names:
    problems.append(f"ADMX value names differ from the plug-in's: only in the ADMX {sorted(admx_names - plugin_names)}, "
                    f"only in the plug-in {sorted(plugin_names - admx_names)}")

strings = set(re.findall(r"\$\(string\.(\w+)\)", admx_text))
presentations = {p.get("name"): p for p in admx.iterfind(".//p:policy", ns) if p.get("presentation")}
texts = {}
for language in ("en-US", "de-DE"):
    adml = ET.parse(root / "policies" / language / "Tessera.adml").getroot()
    table = {s.get("id"): s.text or "" for s in adml.iterfind(".//p:stringTable/p:string", ns)}
    texts[language] = table
    for missing in sorted(strings - set(table)):
        problems.append(f"{language}: no string {missing}")
    shown = {p.get("id"): p for p in adml.iterfind(".//p:presentationTable/p:presentation", ns)}
    for name, policy in presentations.items():
        presentation_id = re.fullmatch(r"\$\(presentation\.(\w+)\)", policy.get("presentation")).group(1)
        if presentation_id not in shown:
            problems.append(f"{language}: no presentation {presentation_id}")
            continue
        elements = {e.get("id") for e in policy.findall("p:elements/*", ns)}
        controls = {c.get("refId") for c in shown[presentation_id]}
        if elements != controls:
            problems.append(f"{language}: presentation {presentation_id} shows {sorted(controls)}, the policy has {sorted(elements)}")
untranslated = [i for i in texts["en-US"] if i.endswith("_Help") and texts["en-US"][i] == texts["de-DE"].get(i)]
if untranslated:
    problems.append(f"de-DE: not translated: {untranslated}")

# The package: every value it writes to the plug-in's key, by the plug-in's names.
wxs_text = (root / "installer/dmslink.wxs").read_text(encoding="utf-8")
defines = dict(re.findall(r'<\?define (\w+) = "([^"]*)" \?>', wxs_text))
wix = {"w": "http://schemas.microsoft.com/wix/2006/wi"}
wxs_names = set()
for value in ET.fromstring(wxs_text).iterfind(".//w:RegistryValue", wix):
    key = re.sub(r"\$\(var\.(\w+)\)", lambda m: defines.get(m.group(1), "?"), value.get("Key"))
    if key == plugin_key:
        wxs_names.add(value.get("Name"))
    elif value.get("Name").startswith("Tessera"):
        problems.append(f"dmslink.wxs writes {value.get('Name')} to {key}, not to {plugin_key}")
if wxs_names != plugin_names:
    problems.append(f"dmslink.wxs value names differ from the plug-in's: only in the package {sorted(wxs_names - plugin_names)}, "
                    f"only in the plug-in {sorted(plugin_names - wxs_names)}")

for problem in problems:
    print(problem)
if problems:
    sys.exit(1)
print(f"check-names: ok ({plugin_key}, {len(plugin_names)} values)")
