#!/bin/sh
# ----- VOCANET List Printer Ports Utility ---
# One record per raw socket device of the CUPS queues, in the layout VVP reads:
#   Server name    (followed by the host when the device is another computer)
#   Port name socket://host:port
#   Host address host
#   Port number port
#   (an empty line)
LC_ALL=C
export LC_ALL
if ! command -v lpstat >/dev/null 2>&1; then
    echo "Input Error: lpstat was not found"
    echo "PORTLIST Completed"
    exit 1
fi
lpstat -v | VNPTR_SELF=$(uname -n) awk '
/^device for / {
    line = substr($0, 12)
    i = index(line, ": ")
    if (i == 0) next
    uri = substr(line, i + 2)
    if (tolower(substr(uri, 1, 9)) != "socket://") next
    # socket://[user@]host[:port][/path][?options]; the socket backend defaults to port 9100
    rest = substr(uri, 10)
    j = match(rest, /[\/?]/)
    if (j) rest = substr(rest, 1, j - 1)
    while ((k = index(rest, "@")) > 0) rest = substr(rest, k + 1)
    port = ""
    if (substr(rest, 1, 1) == "[") {
        e = index(rest, "]")
        if (e == 0) next
        host = substr(rest, 2, e - 2)
        if (substr(rest, e + 1, 1) == ":") port = substr(rest, e + 2)
    } else if ((c = index(rest, ":")) > 0) {
        host = substr(rest, 1, c - 1)
        port = substr(rest, c + 1)
    } else {
        host = rest
    }
    if (port == "") port = "9100"
    if (port !~ /^[0-9]+$/) next
    port = port + 0
    host = tolower(host)
    key = "socket://" (host ~ /:/ ? "[" host "]" : host) ":" port
    if (key in seen) next
    seen[key] = 1
    self = tolower(ENVIRON["VNPTR_SELF"])
    here = host == "localhost" || host == "localhost.localdomain" || host == "::1" ||
           host ~ /^127\.[0-9]+\.[0-9]+\.[0-9]+$/ || (self != "" && (host == self || index(host, self ".") == 1))
    print "Server name " (here ? "" : host)
    print "Port name " key
    print "Host address " host
    print "Port number " port
    print ""
}'
echo "PORTLIST Completed"
