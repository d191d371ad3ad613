import sys

from tarn_pe.commands import main

sys.exit(main())
