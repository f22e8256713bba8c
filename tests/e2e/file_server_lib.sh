# A real Samba file server for the tests and benchmarks that need one, and its clients:
# smbd in a network namespace that holds only its loopback, with its configuration, state,
# logs and password database under a folder of the caller's, and the share mounted as the
# desks of an office mount it on Debian without a CIFS client: smbnetfs and GNOME's gvfs,
# each as many times as asked, each mount a desk of its own (own HOME, own D-Bus session).
#
# Usage, first thing in a script:
#   source file_server_lib.sh
#   file_server_enter_namespace "$0" "$@"   # re-runs the script inside the namespace
#   ...
#   file_server_start DIR SHARED_FOLDER     # the share "ufficio" of SHARED_FOLDER
#   smbnetfs_desk NAME                      # sets DESK_SHARE: the share's folder there
#   gvfs_desk NAME                          # the same through gvfs
#   file_server_stop                        # unmounts, ends smbd and the sessions
# A script that cannot have the server (no smbd, no FUSE, no namespaces) ends with 77.

FILE_SERVER_SHARE=ufficio
FILE_SERVER_USER=segreteria
FILE_SERVER_PASSWORD=scrivania
FILE_SERVER_PORT=445
FILE_SERVER_DIR=
FILE_SERVER_PIDS=()
FILE_SERVER_MOUNTS=()
FILE_SERVER_BUSES=()

# file_server_skip REASON: the script cannot run here.
file_server_skip() {
  echo "skipped: $*"
  exit 77
}

# The first reason this machine cannot run the server and its clients, if any.
file_server_missing() {
  local tool
  for tool in smbd smbpasswd smbnetfs gio fusermount fusermount3 dbus-daemon ip unshare; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed (scripts/install-deps.sh)"; return; }
  done
  [ -x /usr/libexec/gvfsd-fuse ] || { echo "gvfs-fuse is not installed (scripts/install-deps.sh)"; return; }
  [ -r /dev/fuse ] && [ -w /dev/fuse ] || { echo "/dev/fuse is missing or not usable"; return; }
  unshare --net --mount --pid --fork --mount-proc true 2>/dev/null ||
    echo "network namespaces cannot be made here (root is needed)"
}

# file_server_enter_namespace SCRIPT ARGS...: outside the namespace, re-runs SCRIPT with ARGS
# inside a new network, mount and process namespace and ends with its exit code; inside,
# brings the loopback up and returns. The process namespace ends every server and client
# process with the script, whatever way it ends.
file_server_enter_namespace() {
  local script=$1
  shift
  if [ "${VELLORIA_FILE_SERVER_NAMESPACE:-}" != 1 ]; then
    local missing
    missing=$(file_server_missing)
    [ -z "$missing" ] || file_server_skip "$missing"
    exec unshare --net --mount --pid --fork --mount-proc --kill-child \
      env VELLORIA_FILE_SERVER_NAMESPACE=1 bash "$script" "$@"
  fi
  ip link set lo up
  # Only the loopback: nothing the server or its clients send can leave this machine.
  [ "$(ip -o link show | awk -F': ' '{ print $2 }')" = lo ] || { echo "FAIL: the namespace has other interfaces" >&2; exit 1; }
}

# file_server_config: the server's smb.conf, everything under $FILE_SERVER_DIR.
file_server_config() {
  local dir=$FILE_SERVER_DIR
  cat <<CONF
[global]
  server role = standalone server
  workgroup = UFFICIO
  netbios name = SERVER
  interfaces = 127.0.0.1/8
  bind interfaces only = yes
  smb ports = $FILE_SERVER_PORT
  disable netbios = yes
  private dir = $dir/private
  lock directory = $dir/lock
  state directory = $dir/state
  cache directory = $dir/cache
  pid directory = $dir/run
  ncalrpc dir = $dir/ncalrpc
  log file = $dir/log/%m.log
  log level = 1
  passdb backend = tdbsam:$dir/private/passdb.tdb
  load printers = no
  printcap name = /dev/null
  disable spoolss = yes
  map to guest = never

[$FILE_SERVER_SHARE]
  path = $2
  read only = no
  valid users = $FILE_SERVER_USER
  force user = $1
CONF
}

# file_server_start DIR FOLDER: smbd serving FOLDER as the share, its files in DIR. The
# share's account exists only in this mount namespace: a private copy of /etc/passwd is
# bound over the machine's; files on the share belong to the user running the script.
file_server_start() {
  FILE_SERVER_DIR=$1
  local folder=$2 dir=$1 sub
  for sub in private lock state cache run ncalrpc log; do mkdir -p "$dir/$sub"; done
  chmod 700 "$dir/private"
  cp /etc/passwd "$dir/passwd"
  echo "$FILE_SERVER_USER:x:4242:4242:Segreteria:/nonexistent:/usr/sbin/nologin" >>"$dir/passwd"
  mount --bind "$dir/passwd" /etc/passwd
  file_server_config "$(id -un)" "$folder" >"$dir/smb.conf"
  printf '%s\n%s\n' "$FILE_SERVER_PASSWORD" "$FILE_SERVER_PASSWORD" |
    smbpasswd -c "$dir/smb.conf" -s -a "$FILE_SERVER_USER" >"$dir/log/smbpasswd.out" 2>&1 ||
    { echo "FAIL: smbpasswd could not add the share's account" >&2; exit 1; }
  # In a session of its own: smbd signals its whole process group when it ends.
  setsid smbd --configfile="$dir/smb.conf" --foreground --no-process-group </dev/null \
    >"$dir/log/smbd.out" 2>&1 &
  FILE_SERVER_PIDS+=($!)
  local _
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$FILE_SERVER_PORT") 2>/dev/null && return 0
    sleep 0.1
  done
  echo "FAIL: smbd does not answer on port $FILE_SERVER_PORT: $(tail -5 "$dir/log/smbd.out")" >&2
  exit 1
}

# wait_share_folder PATH: waits up to 15 s for the share's folder to be listed there.
wait_share_folder() {
  local _
  for _ in $(seq 150); do
    ls "$1/" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "FAIL: the share does not show at $1" >&2
  exit 1
}

# smbnetfs_desk NAME: an smbnetfs mount of its own (HOME, configuration, log) under
# $FILE_SERVER_DIR/NAME; sets DESK_SHARE to the share's folder through it.
smbnetfs_desk() {
  local desk=$FILE_SERVER_DIR/$1
  mkdir -p "$desk/home/.smb" "$desk/mnt"
  cat >"$desk/home/.smb/smbnetfs.conf" <<CONF
auth "127.0.0.1" "$FILE_SERVER_USER" "$FILE_SERVER_PASSWORD"
smb_query_browsers false
CONF
  chmod 600 "$desk/home/.smb/smbnetfs.conf"
  HOME=$desk/home smbnetfs "$desk/mnt" \
    -o "config=$desk/home/.smb/smbnetfs.conf,use_libsecret=false,log_file=$desk/smbnetfs.log" ||
    { echo "FAIL: smbnetfs did not mount for $1" >&2; exit 1; }
  FILE_SERVER_MOUNTS+=("$desk/mnt")
  DESK_SHARE=$desk/mnt/127.0.0.1/$FILE_SERVER_SHARE
  wait_share_folder "$DESK_SHARE"
}

# gvfs_desk NAME: a D-Bus session of its own (HOME, XDG_RUNTIME_DIR under
# $FILE_SERVER_DIR/NAME) whose gvfs mounts the share with "gio mount"; sets DESK_SHARE to
# the share's folder in that session's gvfs FUSE folder.
gvfs_desk() {
  local desk=$FILE_SERVER_DIR/$1 pid
  mkdir -p "$desk/home"
  mkdir -m 700 "$desk/runtime"
  # The daemons the bus starts (gvfsd, gvfsd-fuse) take its environment: the desk's.
  HOME=$desk/home XDG_RUNTIME_DIR=$desk/runtime GVFS_REMOTE_VOLUME_MONITOR_IGNORE=1 \
    dbus-daemon --session --address="unix:path=$desk/runtime/bus" --nopidfile --fork \
    --print-pid=3 3>"$desk/dbus.pid" ||
    { echo "FAIL: no D-Bus session for $1" >&2; exit 1; }
  pid=$(cat "$desk/dbus.pid")
  FILE_SERVER_BUSES+=("$pid")
  # The answers to gio's questions: user, domain, password.
  printf '%s\nUFFICIO\n%s\n' "$FILE_SERVER_USER" "$FILE_SERVER_PASSWORD" |
    HOME=$desk/home XDG_RUNTIME_DIR=$desk/runtime DBUS_SESSION_BUS_ADDRESS="unix:path=$desk/runtime/bus" \
    GVFS_REMOTE_VOLUME_MONITOR_IGNORE=1 timeout 30 gio mount "smb://127.0.0.1/$FILE_SERVER_SHARE" \
    >"$desk/gio.out" 2>&1 ||
    { echo "FAIL: gio mount for $1: $(cat "$desk/gio.out")" >&2; exit 1; }
  FILE_SERVER_MOUNTS+=("$desk/runtime/gvfs")
  DESK_SHARE="$desk/runtime/gvfs/smb-share:server=127.0.0.1,share=$FILE_SERVER_SHARE"
  wait_share_folder "$DESK_SHARE"
}

# file_server_stop: unmounts every desk, ends the D-Bus sessions (their gvfs daemons go
# with them) and smbd, and gives /etc/passwd back. Safe to call twice.
file_server_stop() {
  local mount pid
  for mount in "${FILE_SERVER_MOUNTS[@]}"; do
    fusermount -u "$mount" 2>/dev/null || fusermount3 -u "$mount" 2>/dev/null ||
      umount -l "$mount" 2>/dev/null || true
  done
  FILE_SERVER_MOUNTS=()
  for pid in "${FILE_SERVER_BUSES[@]}" "${FILE_SERVER_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${FILE_SERVER_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  FILE_SERVER_BUSES=()
  FILE_SERVER_PIDS=()
  if [ -n "$FILE_SERVER_DIR" ] && mountpoint -q /etc/passwd; then umount /etc/passwd || true; fi
}
