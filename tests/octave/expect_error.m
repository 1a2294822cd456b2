function expect_error(f, id, fragment)
  % Calls f and requires a host error with identifier id whose message
  % contains fragment (when given).
  try
    f();
  catch err
    if ~strcmp(err.identifier, id)
      error('expected identifier %s, got %s: %s', id, err.identifier, err.message);
    end
    if nargin > 2 && isempty(strfind(err.message, fragment))
      error('message "%s" does not contain "%s"', err.message, fragment);
    end
    return;
  end
  error('expected error %s, but the call succeeded', id);
end
