# Shared by the tools: Wine settings and the scratch prefix. Source it, don't run it.

export WINEDEBUG=-all
# A program that crashes ends there: no debugger is started, which would wait for ever.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export WINEARCH=win64

# Wine's 64-bit loader: Debian keeps it in /usr/lib/wine; elsewhere wine64 or wine is on PATH.
if [ -x /usr/lib/wine/wine64 ]; then QUORVANE_WINE=/usr/lib/wine/wine64
elif command -v wine64 >/dev/null 2>&1; then QUORVANE_WINE=wine64
else QUORVANE_WINE=wine; fi
if [ -x /usr/lib/wine/wineserver64 ]; then QUORVANE_WINESERVER=/usr/lib/wine/wineserver64
elif command -v wineserver >/dev/null 2>&1; then QUORVANE_WINESERVER=wineserver
else QUORVANE_WINESERVER=/usr/lib/wine/wineserver; fi
export QUORVANE_WINE QUORVANE_WINESERVER

# Wine makes host files with non-ASCII names only in a UTF-8 locale, whatever the caller's is;
# C.UTF-8 is on every Debian system.
export LC_ALL=C.UTF-8
unset LANGUAGE

# quorvane_make_prefix DIR [null]: a fresh prefix in DIR; "null" selects the null graphics
# driver so that dialogs and message boxes work without a display.
# Every prefix is a copy of one template beside it (DIR/../wine-template), made by wineboot once
# for each Wine version. The template's system folder, nine tenths of a prefix, is shared by
# hard links: Wine never writes into it once the prefix is made. The rest, the registry above
# all, is copied, so each prefix starts from the same clean state.
quorvane_make_prefix() {
    local dir=$1 driver=${2:-}
    local template version
    template=$(dirname "$dir")/wine-template
    version=$("$QUORVANE_WINE" --version 2>/dev/null)
    if [ "$(cat "$template/.quorvane-wine" 2>/dev/null)" != "$version" ]; then
        rm -rf "$template"
        mkdir -p "$template"
        WINEPREFIX=$template "$QUORVANE_WINE" wineboot -i >/dev/null 2>&1
        WINEPREFIX=$template "$QUORVANE_WINESERVER" -w
        echo "$version" > "$template/.quorvane-wine"
    fi
    rm -rf "$dir"
    mkdir -p "$dir"
    tar -C "$template" --exclude=./drive_c/windows/system32 --exclude=./.quorvane-wine -cf - . |
        tar -C "$dir" -xf -
    cp -al "$template/drive_c/windows/system32" "$dir/drive_c/windows/" 2>/dev/null ||
        cp -a "$template/drive_c/windows/system32" "$dir/drive_c/windows/"
    if [ "$driver" = null ]; then
        WINEPREFIX=$dir "$QUORVANE_WINE" reg add 'HKCU\Software\Wine\Drivers' \
            /v Graphics /d null /f >/dev/null 2>&1
    fi
    # Drive D: is a scratch folder of the prefix, for the end-to-end tests.
    mkdir -p "$dir/drive_d"
    ln -sfn ../drive_d "$dir/dosdevices/d:"
    WINEPREFIX=$dir "$QUORVANE_WINESERVER" -w
}

# quorvane_add_fonts DIR: the fonts a screenshot needs. Marlett draws the title bar's buttons
# (Wine looks for it in the prefix's Fonts folder; package fonts-wine has it). WenQuanYi Micro
# Hei (package fonts-wqy-microhei) draws the dialog's Traditional Chinese captions, in the
# template's font and in the default GUI font that the program gives its controls.
quorvane_add_fonts() {
    local dir=$1 reg link
    cp /usr/share/wine/fonts/marlett.ttf "$dir/drive_c/windows/Fonts/"
    reg=$(mktemp --suffix=.reg)
    # "wqy-microhei.ttc,WenQuanYi Micro Hei" as REG_MULTI_SZ in UTF-16LE.
    link=$(printf 'wqy-microhei.ttc,WenQuanYi Micro Hei\0\0' | iconv -f UTF-8 -t UTF-16LE |
        od -An -v -tx1 | tr -s ' \n' ',' | sed 's/^,//; s/,$//')
    {
        printf '\xef\xbb\xbf'
        cat <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]
"新細明體"="WenQuanYi Micro Hei"
"PMingLiU"="WenQuanYi Micro Hei"

[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]
"Tahoma"=hex(7):$link
"MS Shell Dlg"=hex(7):$link
"Microsoft Sans Serif"=hex(7):$link
REG
    } | iconv -f UTF-8 -t UTF-16LE > "$reg"
    WINEPREFIX=$dir "$QUORVANE_WINE" regedit /S "$reg" >/dev/null 2>&1
    WINEPREFIX=$dir "$QUORVANE_WINESERVER" -w
    rm -f "$reg"
}
