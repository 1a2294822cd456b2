#!/usr/bin/env bash
# Builds the Octave package tarball, installs it with Octave's pkg into a
# temporary prefix (package lists in the temporary folder: the user's
# Octave is untouched), loads it, and runs from the installed package the
# README's Octave examples (checking the program's defaults on them), the
# help text and ccs_read.
#   install_package.sh SOURCE_DIR [OCTAVE_CLI]
set -euo pipefail
root=$1
octave=${2:-octave-cli}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
start=$(date +%s)
tarball=$("$root/scripts/make-octave-package.sh" "$tmp")
cat > "$tmp/check.m" <<'OCTAVE'
function check (tmp, tarball, root)
  pkg ("prefix", fullfile (tmp, "prefix"), fullfile (tmp, "arch"));
  pkg ("local_list", fullfile (tmp, "local_list"));
  pkg ("global_list", fullfile (tmp, "global_list"));
  t0 = tic ();
  pkg ("install", "-local", tarball);
  printf ("pkg install: %.0f s\n", toc (t0));
  pkg load ccs
  for f = {"ccs_pa", "ccs_ehss", "ccs_tm", "ccs_lj", "ccs_read", "shadecount", "hardkick", ...
           "tracerun_plus", "tracerun", "tracerun_well", "__ccs_readers__"}
    w = which (f{1});
    assert (strncmp (w, tmp, numel (tmp)), sprintf ("%s is not from the package: %s", f{1}, w));
  endfor
  h = evalc ("help ccs_lj");
  assert (! isempty (strfind (h, "tracerun_well")) && ! isempty (strfind (h, "2.622e-21")), h);
  cd (root);
  s = ccs_read ("examples/phenethylammonium.mol2");
  assert (rows (s.xyz) == 21 && abs (sum (s.charges) - 1) < 1e-9);

  % The README's Octave examples, as shown, with the program's defaults.
  text = fileread (fullfile (root, "README.md"));
  section = regexp (text, "\n## Octave.*?(?=\n## |$)", "match", "once");
  blocks = regexp (section, "```octave\n(.*?)```", "tokens");
  assert (numel (blocks) >= 4, "README: the Octave section needs an example per method");
  defaults = struct ("pa", [500 NaN], "ehss", [2000 100], "tm", [500 300], "lj", [500 300]);
  seen = {};
  for k = 1:numel (blocks)
    clear r;
    t0 = tic ();
    out = evalc (blocks{k}{1});
    printf ("%s(%.0f s)\n", out, toc (t0));
    if (exist ("r", "var"))
      d = defaults.(r.method);
      assert (r.orientations == d(1) && (isnan (d(2)) || r.trajectories == d(2)), r.method);
      assert (r.ccs > 0 && r.ccs_se > 0 && r.ccs_se < 0.05 * r.ccs && ! isempty (strfind (out, sprintf ("%.1f", r.ccs))));
      seen{end+1} = r.method;
    endif
  endfor
  assert (isempty (setdiff ({"pa", "ehss", "tm", "lj"}, seen)), "README: an example per method");
end
OCTAVE
cd "$tmp"
OMP_NUM_THREADS=${OMP_NUM_THREADS:-2} "$octave" --no-gui --no-window-system -q --eval \
  "try, check ('$tmp', '$tarball', '$root'); catch err, disp (err.message); exit (1); end"
echo "package test: $(( $(date +%s) - start )) s"
