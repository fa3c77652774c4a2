function doc_claim(value, expected, tolerance, place, name, claim)
%DOC_CLAIM  Raises an error unless VALUE, the value of NAME at PLACE, is what
%   the example's comment CLAIM says: of the size of EXPECTED, and each
%   element within TOLERANCE of EXPECTED's (a tolerance of 0 asks for
%   equality; NaN matches NaN). doc_examples.py puts a call after each claim.
  if ~(isnumeric(value) || islogical(value)) || ~isreal(value)
    error('lamina:docClaim', '%s: %s is of class %s; the comment says %s', place, name, ...
          class(value), claim);
  end
  v = double(full(value));
  if ~isequal(size(v), size(expected))
    error('lamina:docClaim', '%s: %s is %s, of size %s; the comment says %s', place, name, ...
          mat2str(v, 6), mat2str(size(v)), claim);
  end
  holds = v == expected | (isnan(v) & isnan(expected)) | abs(v - expected) <= tolerance * (1 + 1e-9);
  if ~all(holds(:))
    error('lamina:docClaim', '%s: %s is %s; the comment says %s', place, name, mat2str(v, 6), claim);
  end
end
