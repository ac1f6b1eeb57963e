## value = with_threads (count, f)
## The value of f () with OMP_NUM_THREADS set to count for the call; the
## variable is then as it was before (unset, if it was). The modules' tests
## use it to show that the thread count changes no result.
function value = with_threads (count, f)
  old = getenv ("OMP_NUM_THREADS");
  unwind_protect
    setenv ("OMP_NUM_THREADS", count);
    value = f ();
  unwind_protect_cleanup
    if (isempty (old))
      unsetenv ("OMP_NUM_THREADS");
    else
      setenv ("OMP_NUM_THREADS", old);
    endif
  end_unwind_protect
endfunction
