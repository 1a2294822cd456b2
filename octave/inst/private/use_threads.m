## -*- texinfo -*-
## @deftypefn {} {@var{restore} =} use_threads (@var{n})
## Runs the plug-ins' parallel loops on @var{n} threads (all processors, or
## @env{OMP_NUM_THREADS}, when @var{n} is empty) until the returned object is
## cleared, which restores the previous count.
## @end deftypefn

function restore = use_threads (n)
  if (isempty (n))
    n = 0;  # keep the count
  endif
  old = __ccs_readers__ ("threads", n);
  restore = onCleanup (@() __ccs_readers__ ("threads", old));
endfunction
