# Shared by the tools: Wine settings and the scratch prefix. Source it, don't run it.

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

# Wine's 64-bit loader: Debian keeps it in /usr/lib/wine; elsewhere wine64 or wine is on PATH.
if [ -x /usr/lib/wine/wine64 ]; then QUORVANE_WINE=/usr/lib/wine/wine64
elif command -v wine64 >/dev/null 2>&1; then QUORVANE_WINE=wine64
else QUORVANE_WINE=wine; fi
if [ -x /usr/lib/wine/wineserver64 ]; then QUORVANE_WINESERVER=/usr/lib/wine/wineserver64
elif command -v wineserver >/dev/null 2>&1; then QUORVANE_WINESERVER=wineserver
else QUORVANE_WINESERVER=/usr/lib/wine/wineserver; fi
export QUORVANE_WINE QUORVANE_WINESERVER

# quorvane_make_prefix DIR [null]: a fresh prefix in DIR; "null" selects the null graphics
# driver so that dialogs and message boxes work without a display.
quorvane_make_prefix() {
    local dir=$1 driver=${2:-}
    rm -rf "$dir"
    mkdir -p "$dir"
    WINEPREFIX=$dir "$QUORVANE_WINE" wineboot -i >/dev/null 2>&1
    if [ "$driver" = null ]; then
        WINEPREFIX=$dir "$QUORVANE_WINE" reg add 'HKCU\Software\Wine\Drivers' \
            /v Graphics /d null /f >/dev/null 2>&1
    fi
    # Drive D: is a scratch folder of the prefix, for the end-to-end tests.
    mkdir -p "$dir/drive_d"
    ln -sfn ../drive_d "$dir/dosdevices/d:"
    WINEPREFIX=$dir "$QUORVANE_WINESERVER" -w
}

# quorvane_add_cjk_fonts DIR: lets the prefix draw the dialog's Traditional Chinese captions
# with WenQuanYi Micro Hei (package fonts-wqy-microhei), in the template's font and in the
# default GUI font that the program gives its controls.
quorvane_add_cjk_fonts() {
    local dir=$1 reg link
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
