function test_interrupt()
  % Ctrl-C (SIGINT to the host) during a long plug-in call ends the call
  % within about a second with the error "interrupted"; the next call works.
  p = he_inputs();
  [x, y, z] = ndgrid(-6:2:6);
  atoms = [x(:) y(:) z(:) repmat(1.5, numel(x), 1)];  % 343 atoms
  long = tracerun_args(p, atoms, 100000, 300, 1, 3);  % minutes of work
  system(sprintf('(sleep 1; kill -INT %d) > /dev/null 2>&1 &', getpid()));
  started = tic();
  try
    evalc('tracerun(long{:});');
    error('test:notInterrupted', 'the call ran to its end');
  catch err
    assert(!isempty(regexp(err.message, '(^|: )interrupted$', 'once')), err.message);
    assert(strcmp(err.identifier, 'ccs:interrupted'), err.identifier);
  end
  elapsed = toc(started);
  assert(elapsed < 3, sprintf('the call went on %.1f s after the signal sent at 1 s', elapsed - 1));
  short = tracerun_args(p, atoms(1:4, :), 2, 20, 1, 3);
  evalc('out = tracerun(short{:});');
  assert(isequal(size(out), [2 3]) && all(isfinite(out(:))));
end
