#!/usr/bin/env bash
# The update host of the whole update cycle: a private nginx on 127.0.0.1
# whose information file announces a newer Deskpin with three files: the new
# program, a notes file for a folder-macro destination and a help page for a
# subfolder of the program's folder.
#
#   update-host.sh start STATEDIR PORT NEW_EXE VERSION [LIFETIME_S]
#   update-host.sh stop STATEDIR
#
# Everything lies under STATEDIR/www/client/update/deskpin/; nginx's access
# log is STATEDIR/logs/access.log. NGINX_FIXTURE_LIMIT_RATE slows the answers.
set -euo pipefail

cmd="${1:?start or stop}"
state="${2:?state folder}"
servers="$(cd "$(dirname "$0")/../servers" && pwd)"

if [ "$cmd" = stop ]; then
  exec bash "$servers/nginx-fixture.sh" stop "$state"
fi
port="${3:?port}"
new_exe="${4:?program file of the new version}"
version="${5:?its version}"
lifetime="${6:-1800}"

bash "$servers/nginx-fixture.sh" start "$state" "$port" "$lifetime"
: >"$state/logs/access.log"  # only this cycle's requests

site="$state/www/client/update/deskpin"
base="http://127.0.0.1:$port/client/update/deskpin"
mkdir -p "$site"
cp "$new_exe" "$site/varnel_web.exe"
printf 'Deskpin %s notes\r\nThe desktop link keeps pointing at the program.\r\n' "$version" \
  >"$site/notes.txt"
printf '<html><body><h1>Deskpin %s</h1><p>Help for the Varnel web client.</p></body></html>\r\n' \
  "$version" >"$site/help.html"

# The information file: CR LF line ends, and one after the last line too.
{
  printf '#version=%s\r\n' "$version"
  printf '#date=%s\r\n' "$(date +%m/%d/%Y)"
  printf '#message={Deskpin %s:\r\n- the web client opens faster\r\n- notes and help come with the program}\r\n' "$version"
  printf '#method=0\r\n'
  printf '#url=%s/varnel_web.exe\r\n' "$base"
  printf '#url2=%s/notes.txt=%%appdata%%\\Corvane\\Deskpin\\notes.txt\r\n' "$base"
  printf '#url3=%s/help.html=help\\varnel.html\r\n' "$base"
} >"$site/varnel_web.inf"
echo "update $version announced at $base/varnel_web.inf"
