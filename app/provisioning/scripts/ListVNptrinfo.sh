#!/bin/sh
# ----- VOCANET List Printer Info Utility ---
# ListVNptrinfo.sh PRINTER: the printer's name and its port, the device cut to socket://host:port
# for raw socket devices (as the port listing names them), else without options or user.
LC_ALL=C
export LC_ALL
if ! command -v lpstat >/dev/null 2>&1; then
    echo "Input Error: lpstat was not found"
    echo "PTRLIST Completed"
    exit 1
fi
if [ $# -ne 1 ] || [ -z "$1" ]; then
    echo "Input Error: usage: ListVNptrinfo.sh PRINTER"
    echo "PTRLIST Completed"
    exit 1
fi
printf 'Printer name %s\n' "$1"
# "-vNAME" rather than "-v NAME": a name starting with "-" is not read as an option.
lpstat "-v$1" | awk '
/^device for / && !done {
    done = 1
    line = substr($0, 12)
    i = index(line, ": ")
    if (i == 0) next
    uri = substr(line, i + 2)
    j = match(uri, /[?]/)
    if (j) uri = substr(uri, 1, j - 1)
    if (tolower(substr(uri, 1, 9)) != "socket://") {
        s = index(uri, "://")
        if (s) {
            rest = substr(uri, s + 3)
            while ((k = index(rest, "@")) > 0) rest = substr(rest, k + 1)
            uri = substr(uri, 1, s + 2) rest
        }
        print "Port name " uri
        next
    }
    rest = substr(uri, 10)
    j = match(rest, /[\/]/)
    if (j) rest = substr(rest, 1, j - 1)
    while ((k = index(rest, "@")) > 0) rest = substr(rest, k + 1)
    port = ""
    if (substr(rest, 1, 1) == "[") {
        e = index(rest, "]")
        host = substr(rest, 2, e - 2)
        if (substr(rest, e + 1, 1) == ":") port = substr(rest, e + 2)
    } else if ((c = index(rest, ":")) > 0) {
        host = substr(rest, 1, c - 1)
        port = substr(rest, c + 1)
    } else {
        host = rest
    }
    if (port == "") port = "9100"
    if (port ~ /^[0-9]+$/) port = port + 0
    host = tolower(host)
    print "Port name socket://" (host ~ /:/ ? "[" host "]" : host) ":" port
}'
echo "PTRLIST Completed"
