#!/usr/bin/env bash
# Builds the shipped modules of both architectures, signs them, makes the two installer packages and
# signs those, from a bare machine (set-up included):
#   OUT/Vantor-VERSION-x64.msi   for 64-bit Windows: Vantor.dll (64-bit) and Vantor32.dll (32-bit)
#   OUT/Vantor-VERSION-x86.msi   for 32-bit Windows: Vantor.dll (32-bit)
# The modules are built in release trees of their own, OUT/x64 and OUT/x86 (CMAKE_BUILD_TYPE=Release,
# the module only; see cmake/release.cmake); each tree's bin/ holds the built Vantor.dll and
# Vantor.dll.debug, its symbols. The signed modules, the ones the packages carry, are
# OUT/signed/x64/Vantor.dll and OUT/signed/x86/Vantor.dll. The test trees of scripts/build.sh are not
# touched.
#
# Usage: scripts/package.sh [--cert FILE --key FILE | --pkcs12 FILE] [--timestamp URL] [OUT]
#   (default OUT: build/release)
#   --cert, --key   the releaser's code-signing certificate (PEM or DER, with its chain) and key
#   --pkcs12        the same in one PKCS#12 file
#   --timestamp     an RFC 3161 time-stamp server: the signatures then stay valid after the
#                   certificate expires
#   The password of an encrypted key or PKCS#12 file comes from VANTOR_SIGN_PASSWORD.
# Without a certificate the script makes a test certificate in OUT/signing (once, then reuses it) and
# signs with that: such packages are for tests, and Windows does not trust them. OUT/signing/trust.pem
# holds what verifies the signatures: the test certificate, or the system's certificate authorities.
#   osslsigncode verify -CAfile OUT/signing/trust.pem -in OUT/Vantor-VERSION-x64.msi
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export LC_ALL=C.UTF-8

cert= key= pkcs12= timestamp= out=
while [[ $# -gt 0 ]]; do
    [[ $1 != -* || $# -ge 2 ]] || { echo "package.sh: $1 needs a value" >&2; exit 2; }
    case $1 in
    --cert) cert=$(realpath "$2") ;;
    --key) key=$(realpath "$2") ;;
    --pkcs12) pkcs12=$(realpath "$2") ;;
    --timestamp) timestamp=$2 ;;
    -*) echo "package.sh: unknown option $1" >&2; exit 2 ;;
    *) out=$1; shift; continue ;;
    esac
    shift 2
done
out=$(realpath -m "${out:-$root/build/release}")
if [[ -n "$pkcs12" && -n "$cert$key" ]] || [[ -z "$pkcs12" && ( -z "$cert" || -z "$key" ) && -n "$cert$key" ]]; then
    echo "package.sh: give --cert and --key, or --pkcs12" >&2
    exit 2
fi

bash "$root/scripts/build.sh" "$out" Release Vantor
for arch in x64 x86; do
    bash "$root/scripts/check-dll.sh" "$out/$arch/bin/Vantor.dll" "$arch" >/dev/null ||
        { bash "$root/scripts/check-dll.sh" "$out/$arch/bin/Vantor.dll" "$arch"; exit 1; }
done

# ---- The signer ------------------------------------------------------------------------------------
mkdir -p "$out/signing"
trust=$out/signing/trust.pem
if [[ -z "$cert$pkcs12" ]]; then
    cert=$out/signing/Vantor-TEST-codesigning.crt
    key=$out/signing/Vantor-TEST-codesigning.key
    if [[ ! -f "$cert" || ! -f "$key" ]]; then
        openssl req -x509 -newkey rsa:3072 -sha256 -days 3650 -nodes -keyout "$key" -out "$cert" \
            -subj "/O=Vantor/CN=Vantor TEST code signing, not for release" \
            -addext "extendedKeyUsage=codeSigning" 2>/dev/null
    fi
    cp "$cert" "$trust"
    echo "package.sh: no certificate given: signing with the TEST certificate $cert."
    echo "package.sh: Windows does not trust it; a release is signed with --cert and --key (or --pkcs12)."
else
    cp /etc/ssl/certs/ca-certificates.crt "$trust"
fi
signer=()
if [[ -n "$pkcs12" ]]; then
    signer=(-pkcs12 "$pkcs12")
else
    signer=(-certs "$cert" -key "$key")
fi
[[ -n "$timestamp" ]] && signer+=(-ts "$timestamp")

# Signs IN into OUT with SHA-256. The password, if any, goes to osslsigncode in a file only this user
# may read, removed at once, never on the command line (which every user of the machine may see).
sign() {
    local password=() file=
    rm -f "$2"
    if [[ -n "${VANTOR_SIGN_PASSWORD:-}" ]]; then
        file=$(umask 077 && mktemp)
        printf '%s' "$VANTOR_SIGN_PASSWORD" >"$file"
        password=(-readpass "$file")
    fi
    local status=0
    osslsigncode sign "${signer[@]}" "${password[@]}" -h sha256 -n "Vantor Shell Extension" -in "$1" -out "$2" \
        >"$out/signing/osslsigncode.log" 2>&1 || status=$?
    [[ -n "$file" ]] && rm -f "$file"
    [[ $status -eq 0 ]] || { cat "$out/signing/osslsigncode.log" >&2; return 1; }
}

# The version and the language of a module, from its own version record, as "1.0.0.0 1033".
module_version() {
    python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
record = data.index("VS_VERSION_INFO".encode("utf-16-le"))
fixed = data.index(struct.pack("<I", 0xFEEF04BD), record)
high, low = struct.unpack_from("<II", data, fixed + 8)
name = "Translation\0".encode("utf-16-le")
at = data.index(name, record) + len(name)
at += -at % 4
print(f"{high >> 16}.{high & 0xFFFF}.{low >> 16}.{low & 0xFFFF} {struct.unpack_from('<H', data, at)[0]}")
PY
}

for arch in x64 x86; do
    mkdir -p "$out/signed/$arch"
    sign "$out/$arch/bin/Vantor.dll" "$out/signed/$arch/Vantor.dll"
done

# ---- The packages ------------------------------------------------------------------------------------
# msiinfo exports a table as text (three header lines, tab-separated rows); msibuild -i imports one
# in the same form, replacing the table.
export_table() { msiinfo export "$1" "$2" | tr -d '\r'; }
import_table() {
    local file
    file=$(mktemp -d)/$2.idt
    cat >"$file"
    msibuild "$1" -i "$file"
    rm -r "$(dirname "$file")"
}

version=$(sed -n 's/^VANTOR_VERSION:INTERNAL=//p' "$out/x64/CMakeCache.txt")
# wixl finds the files named by relative paths only.
cd "$out"
for arch in x64 x86; do
    msi=Vantor-$version-$arch.msi
    declare -A modules=([Module]=signed/$arch/Vantor.dll)
    [[ $arch == x64 ]] && modules[Module32]=signed/x86/Vantor.dll
    defines=()
    for id in "${!modules[@]}"; do defines+=(-D "$id=${modules[$id]}"); done
    rm -f "$msi" "$msi.unsigned"
    wixl -a "$arch" -D Arch="$arch" -D Version="$version" "${defines[@]}" -I "$root/packaging" -o "$msi.unsigned" \
        "$root/packaging/Vantor.wxs"

    # wixl reads no version record and hashes every file. A versioned file carries its version, with
    # which the installer replaces an older module that is already there (a hand-made installation)
    # and keeps a newer one, and its language; it has no hash, which is for unversioned files only.
    stamps=
    for id in "${!modules[@]}"; do stamps+="$id $(module_version "${modules[$id]}")"$'\n'; done
    export_table "$msi.unsigned" File | awk -F'\t' -v OFS='\t' -v stamps="$stamps" '
        BEGIN { n = split(stamps, line, "\n"); for (i = 1; i <= n; i++) if (split(line[i], f, " ") == 3) { v[f[1]] = f[2]; l[f[1]] = f[3] } }
        NR > 3 && ($1 in v) { $5 = v[$1]; $6 = l[$1] }
        { print }' | import_table "$msi.unsigned" File
    export_table "$msi.unsigned" MsiFileHash | awk -F'\t' -v stamps="$stamps" '
        BEGIN { n = split(stamps, line, "\n"); for (i = 1; i <= n; i++) { split(line[i], f, " "); hashed[f[1]] = 1 } }
        NR <= 3 || !($1 in hashed)' | import_table "$msi.unsigned" MsiFileHash

    # The class of a module of the package's own architecture goes into the Class table, where the
    # installer's rules want it (and where Windows Installer keeps it repaired): Registration.wxi
    # writes it as registry values, as regsvr32 would, because wixl has no Class table. The class
    # key's default value becomes the class's description, its InprocServer32 key's default value
    # (the module's path) its in-process server; the named values (ThreadingModel) stay registry
    # values. The 32-bit module of the package for 64-bit Windows keeps its registry values: Windows
    # Installer writes a Class-table class in its component's registry view, but Wine's (8.0) writes
    # every one in the package's view, where the 32-bit module's class would replace the 64-bit one's
    # and leave 32-bit programs without one, so such a package could not be tried here. Registry
    # values go into their component's view on both. (tests/install/check-package.sh states the
    # exception.)
    own=$(export_table "$msi.unsigned" Component | awk -F'\t' -v bits="$([[ $arch == x64 ]] && echo 1 || echo 0)" \
        'NR > 3 && int($4 / 256) % 2 == bits { print $1 }' | tr '\n' ' ')
    export_table "$msi.unsigned" Registry >registry.idt
    feature=$(export_table "$msi.unsigned" FeatureComponents | awk -F'\t' 'NR == 4 { print $1 }')
    class_value='NR > 3 && $2 == 0 && $4 == "" && ($6 in own) && $3 ~ /^CLSID\\\{[-0-9A-Fa-f]+\}(\\InprocServer32)?$/'
    awk -F'\t' -v OFS='\t' -v feature="$feature" -v components="$own" '
        BEGIN {
            split(components, list, " ")
            for (i in list) own[list[i]] = 1
            print "CLSID", "Context", "Component_", "ProgId_Default", "Description", "AppId_", "FileTypeMask",
                "Icon_", "IconIndex", "DefInprocHandler", "Argument", "Feature_", "Attributes"
            print "s38", "s32", "s72", "S255", "L255", "S38", "S255", "S72", "I2", "S32", "S255", "s38", "I2"
            print "Class", "CLSID", "Context", "Component_"
        }
        '"$class_value"' {
            class = substr($3, 7, 38)
            if (length($3) == 44) description[class, $6] = $5
            else server[class, $6] = 1
        }
        END {
            for (key in server) {
                split(key, part, SUBSEP)
                print part[1], "InprocServer32", part[2], "", description[key], "", "", "", "", "", "", feature, ""
            }
        }' registry.idt | import_table "$msi.unsigned" Class
    awk -F'\t' -v components="$own" 'BEGIN { split(components, list, " "); for (i in list) own[list[i]] = 1 }
        !('"$class_value"')' registry.idt | import_table "$msi.unsigned" Registry
    rm registry.idt

    # The folder Lang belongs to the module's component (wixl puts a CreateFolder's folder into the
    # component's own, whatever it names), so that every component has a file for its key path.
    msibuild "$msi.unsigned" -q "INSERT INTO \`CreateFolder\` (\`Directory_\`, \`Component_\`) VALUES ('LangFolder', 'Module')" \
        -q "INSERT INTO \`RemoveFile\` (\`FileKey\`, \`Component_\`, \`DirProperty\`, \`InstallMode\`)
            VALUES ('LangFolder', 'Module', 'LangFolder', 2)"

    # Signed last: any change to the package after this breaks its signature.
    sign "$msi.unsigned" "$msi"
    rm "$msi.unsigned"
    unset modules
done

echo "Packages in $out:"
for arch in x64 x86; do
    echo "  Vantor-$version-$arch.msi ($(stat -c %s "Vantor-$version-$arch.msi") bytes)," \
        "module signed/$arch/Vantor.dll ($(stat -c %s "signed/$arch/Vantor.dll") bytes)"
done
