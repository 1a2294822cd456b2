## -*- texinfo -*-
## @deftypefn {} {@var{out} =} run_plugin (@var{verbose}, @var{name}, @var{nout}, @var{args})
## Calls the plug-in @var{name} with the inputs @var{args} and returns its
## first @var{nout} outputs. The lines the plug-ins print (their domain
## choice, once per orientation) are kept off the console unless
## @var{verbose}.
## @end deftypefn

function out = run_plugin (verbose, name, nout, args)
  out = cell (1, nout);
  if (verbose)
    [out{:}] = feval (name, args{:});
  else
    evalc ("[out{:}] = feval (name, args{:});");
  endif
endfunction
