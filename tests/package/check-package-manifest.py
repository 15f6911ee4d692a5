#!/usr/bin/env python3
"""Checks a sparse package's manifest (AppxManifest.xml) for what Windows needs to register it with
an external location and to show its Explorer command in the first-level context menu: the elements
and attributes the manifest schema requires of such a package, a packaged COM server whose class is
in-process in the module, and FileExplorerContextMenus verbs for "*" and "Directory" that name it.

Usage: check-package-manifest.py MANIFEST ARCH VERSION MODULE
  ARCH x86 or x64 (the build tree's), VERSION the package version (four numbers), MODULE the file
  name of the module that serves the class."""
import os
import re
import sys
import xml.etree.ElementTree as ET

NS = {
    "": "http://schemas.microsoft.com/appx/manifest/foundation/windows10",
    "uap": "http://schemas.microsoft.com/appx/manifest/uap/windows10",
    "uap10": "http://schemas.microsoft.com/appx/manifest/uap/windows10/10",
    "rescap": "http://schemas.microsoft.com/appx/manifest/foundation/windows10/restrictedcapabilities",
    "com": "http://schemas.microsoft.com/appx/manifest/com/windows10",
    "desktop4": "http://schemas.microsoft.com/appx/manifest/desktop/windows10/4",
    "desktop5": "http://schemas.microsoft.com/appx/manifest/desktop/windows10/5",
}
GUID = re.compile(r"^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$")
VERSION = re.compile(r"^(0|[1-9][0-9]{0,4})(\.(0|[1-9][0-9]{0,4})){3}$")
failures = []


def name(qualified):
    prefix, _, local = qualified.rpartition(":")
    return "{%s}%s" % (NS[prefix], local)


def find(parent, path, what):
    """The one element at PATH ("a/b:c") below PARENT; a failure when there is none."""
    found = parent.find("/".join(name(step) for step in path.split("/"))) if parent is not None else None
    if found is None:
        failures.append("missing element %s%s" % (path, " (" + what + ")" if what else ""))
    return found


def attribute(element, qualified, pattern=None, expected=None):
    if element is None:
        return None
    value = element.get(name(qualified) if ":" in qualified else qualified)
    where = "%s/@%s" % (element.tag.rpartition("}")[2], qualified)
    if not value:
        failures.append("missing attribute " + where)
    elif pattern is not None and not re.match(pattern, value):
        failures.append("%s = %r does not match %s" % (where, value, pattern))
    elif expected is not None and value != expected:
        failures.append("%s = %r, not %r" % (where, value, expected))
    return value


def file_beside(manifest, relative, what):
    if relative and not os.path.isfile(os.path.join(os.path.dirname(manifest), relative.replace("\\", "/"))):
        failures.append("%s %s is not beside the manifest" % (what, relative))


def main():
    manifest, arch, version, module = sys.argv[1:5]
    root = ET.parse(manifest).getroot()
    if root.tag != name("Package"):
        failures.append("the root is %s, not Package of the foundation namespace" % root.tag)

    identity = find(root, "Identity", "")
    attribute(identity, "Name", r"^[A-Za-z0-9.\-]{3,50}$")
    attribute(identity, "Publisher", r"^CN=.+")
    attribute(identity, "Version", VERSION, version)
    attribute(identity, "ProcessorArchitecture", expected=arch)

    properties = find(root, "Properties", "")
    for child in ("DisplayName", "PublisherDisplayName"):
        element = find(properties, child, "")
        if element is not None and not (element.text or "").strip():
            failures.append("Properties/%s is empty" % child)
    logo = find(properties, "Logo", "")
    file_beside(manifest, logo.text if logo is not None else None, "the logo")
    external = find(properties, "uap10:AllowExternalContent", "a package with an external location")
    if external is not None and external.text != "true":
        failures.append("uap10:AllowExternalContent is %r, not true" % external.text)

    attribute(find(root, "Resources/Resource", ""), "Language")
    family = find(root, "Dependencies/TargetDeviceFamily", "")
    attribute(family, "Name", expected="Windows.Desktop")
    minimum = attribute(family, "MinVersion", VERSION)
    attribute(family, "MaxVersionTested", VERSION)
    if minimum and VERSION.match(minimum) and [int(n) for n in minimum.split(".")] < [10, 0, 22000, 0]:
        failures.append("MinVersion %s is below Windows 11 (10.0.22000.0)" % minimum)

    capabilities = {c.get("Name") for c in root.iter(name("rescap:Capability"))}
    for needed in ("runFullTrust", "unvirtualizedResources"):
        if needed not in capabilities:
            failures.append("missing rescap:Capability %s" % needed)

    application = find(root, "Applications/Application", "")
    attribute(application, "Id", r"^[A-Za-z][A-Za-z0-9]*(\.[A-Za-z][A-Za-z0-9]*)*$")
    attribute(application, "Executable", r"(?i)^[^\\/:*?\"<>|]+\.exe$")
    attribute(application, "uap10:TrustLevel", expected="mediumIL")
    attribute(application, "uap10:RuntimeBehavior", expected="win32App")
    visual = find(application, "uap:VisualElements", "")
    for required in ("DisplayName", "Description", "BackgroundColor"):
        attribute(visual, required)
    for logo_attribute in ("Square150x150Logo", "Square44x44Logo"):
        file_beside(manifest, attribute(visual, logo_attribute), logo_attribute)
    attribute(visual, "AppListEntry", expected="none")

    classes = set()
    servers = [e for e in root.iter(name("com:Extension")) if e.get("Category") == "windows.comServer"]
    if len(servers) != 1:
        failures.append("%d com:Extension elements of the category windows.comServer, not 1" % len(servers))
    for server in servers:
        com_server = find(server, "com:ComServer", "")
        hosts = com_server.findall(name("com:SurrogateServer")) if com_server is not None else []
        if not hosts:
            failures.append("missing com:ComServer/com:SurrogateServer")
        for host in hosts:
            attribute(host, "DisplayName")
            for cls in host.findall(name("com:Class")) or [None]:
                if cls is None:
                    failures.append("com:SurrogateServer without a com:Class")
                    continue
                classes.add((attribute(cls, "Id", GUID) or "").upper())
                attribute(cls, "Path", expected=module)
                attribute(cls, "ThreadingModel", r"^(STA|MTA|Both)$")

    menus = [e for e in root.iter(name("desktop4:Extension")) if e.get("Category") == "windows.fileExplorerContextMenus"]
    if len(menus) != 1:
        failures.append("%d desktop4:Extension elements of the category windows.fileExplorerContextMenus, not 1"
                        % len(menus))
    types = {}
    for menu in menus:
        menus_element = find(menu, "desktop4:FileExplorerContextMenus", "")
        for item in menus_element.findall(name("desktop5:ItemType")) if menus_element is not None else []:
            verbs = item.findall(name("desktop5:Verb"))
            types[attribute(item, "Type")] = verbs
            if not verbs:
                failures.append("desktop5:ItemType %s without a desktop5:Verb" % item.get("Type"))
            for verb in verbs:
                attribute(verb, "Id", r"^[A-Za-z][A-Za-z0-9]*$")
                clsid = (attribute(verb, "Clsid", GUID) or "").upper()
                if clsid and clsid not in classes:
                    failures.append("the verb of %s names %s, which is no com:Class of the package"
                                    % (item.get("Type"), clsid))
    if sorted(t for t in types if t) != ["*", "Directory"]:
        failures.append("item types %s, not * and Directory" % sorted(t for t in types if t))

    for failure in failures:
        print("FAIL  %s: %s" % (manifest, failure))
    if not failures:
        print("ok    %s: sparse package %s %s, class %s in %s, verbs for * and Directory"
              % (manifest, version, arch, ", ".join(sorted(classes)), module))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
