## -*- texinfo -*-
## @deftypefn {} {@var{c} =} constants ()
## Physical constants of the @command{ccs} program (its own definitions):
## @code{kB} (J/K), @code{e} (C), @code{eps0} (F/m), @code{u} (kg), the
## standard pressure @code{p_std} (Pa) and temperature @code{T_std} (K).
## @end deftypefn

function c = constants ()
  persistent cached;
  if (isempty (cached))
    cached = __ccs_readers__ ("constants");
  endif
  c = cached;
endfunction
