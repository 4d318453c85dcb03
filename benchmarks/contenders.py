"""The contenders of compare.py: caustica's functions and its peers', each called as it is meant to be.

A contender is made for one rho and then called on a light_curves.Curve, whose inputs are ready in
every form (separations in source or Einstein radii, lists or arrays, times)."""

import math

import numpy as np

LINEAR_LD = 0.6                      # I(r) = 1 - 0.6 (1 - sqrt(1 - r^2)), caustica's built-in profile
GAMMA = 2 * LINEAR_LD / (3 - LINEAR_LD)  # the same law in MulensModel's Gamma convention: 0.5


def scipy_witt_mao(l, rho):
    """The uniform-disk closed form vectorised with scipy.special; Pi from Carlson's RF and RJ."""
    from scipy import special

    c = rho * rho
    u = l * rho
    d = u - rho
    d2 = d * d
    w = np.sqrt(d2 + 4)
    s = rho + u
    n = (rho * 4 * u) / (s * s)
    m = n * 4 / (w * w)
    with np.errstate(all="ignore"):
        E = special.ellipe(m)
        K = special.ellipk(m)
        P = special.elliprf(0, 1 - m, 1) + n / 3 * special.elliprj(0, 1 - m, 1, 1 - n)
        A = ((s * w) / (c + c) * E - (d * ((u * u - c) * 0.5 + 4)) / (w * c) * K
             + ((d2 + d2) * (c + 1)) / (w * (s * c)) * P) / math.pi
    limb = (2 / rho + (c + 1) / c * 2 * math.atan(rho)) / math.pi
    return np.where(d == 0, limb, A)


class Contender:
    """name; kind 'disk' or 'ld'; make(rho) -> f(curve) giving the values; key names the ones
    the headline comparisons pick out."""

    def __init__(self, name, kind, make, cap=None, available=True, why="", key=None):
        self.name, self.kind, self.make, self.cap = name, kind, make, cap
        self.available, self.why, self.key = available, why, key


def pick(contenders, key):
    """The contender with this key; an unavailable stand-in when its package is missing."""
    for contender in contenders:
        if contender.key == key:
            return contender
    return Contender(key, "", None, available=False, why="not installed")


def caustica_contenders():
    try:
        import caustica
    except ImportError as error:
        return [Contender("caustica", "disk", None, available=False, why=str(error))]
    return [
        Contender("caustica.witt_mao_magnification (list)", "disk",
                  lambda rho: lambda c: caustica.witt_mao_magnification(c.l_list, 1.0, rho), key="witt_mao list"),
        Contender("caustica.witt_mao_magnification (float64 array)", "disk",
                  lambda rho: lambda c: caustica.witt_mao_magnification(c.l, 1.0, rho), key="witt_mao array"),
        Contender("caustica.integrated_heyrovsky_magnification", "ld",
                  lambda rho: lambda c: caustica.integrated_heyrovsky_magnification(c.l, 1.0, rho), cap=300,
                  key="integrated_heyrovsky"),
        Contender("caustica.integrated_witt_mao_magnification", "ld",
                  lambda rho: lambda c: caustica.integrated_witt_mao_magnification(c.l, 1.0, rho), cap=300,
                  key="integrated_witt_mao"),
    ]


def scipy_contenders():
    try:
        import scipy  # noqa: F401
    except ImportError as error:
        return [Contender("numpy + scipy.special, Witt-Mao form", "disk", None, available=False, why=str(error))]
    return [Contender("numpy + scipy.special, Witt-Mao form", "disk",
                      lambda rho: lambda c: scipy_witt_mao(c.l, rho), key="scipy")]


MULENS_METHODS = [
    ("finite_source_uniform_WittMao94", "disk", 1000),
    ("finite_source_uniform_Lee09", "disk", 300),
    ("finite_source_uniform_Gould94", "disk", 10**4),
    ("finite_source_LD_WittMao94", "ld", 30),
    ("finite_source_LD_Lee09", "ld", 20),
    ("finite_source_LD_Yoo04", "ld", 10**5),
]


def mulens_contenders():
    try:
        import MulensModel as mm
    except ImportError as error:
        return [Contender(f"MulensModel {m}", k, None, available=False, why=str(error)) for m, k, _ in MULENS_METHODS]

    def make(method, kind):
        def for_rho(rho):
            # u_0 = 0, t_0 = 0, t_E = 1: the trajectory's u is the time itself, exactly.
            model = mm.Model({"t_0": 0.0, "u_0": 0.0, "t_E": 1.0, "rho": rho})
            model.set_magnification_methods([-1.0, method, 10.0])
            if kind == "ld":
                return lambda c: model.get_magnification(c.u, gamma=GAMMA)
            return lambda c: model.get_magnification(c.u)
        return for_rho

    return [Contender(f"MulensModel {mm.__version__} {method}", kind, make(method, kind), cap=cap)
            for method, kind, cap in MULENS_METHODS]


def vbm_contenders():
    try:
        import VBMicrolensing
    except ImportError as error:
        names = ["ESPLMag", "ESPLLightCurve", "ESPLMagDark", "ESPLMagDark Tol=1e-6", "ESPLLightCurve a1=0.6"]
        return [Contender(f"VBMicrolensing {n}", "disk" if "Dark" not in n and "a1" not in n else "ld", None,
                          available=False, why=str(error)) for n in names]
    version = getattr(VBMicrolensing, "__version__", "")

    def engine(a1=0.0, tol=None):
        vbm = VBMicrolensing.VBMicrolensing()
        vbm.a1 = a1                 # linear law I(r) = 1 - a1 (1 - sqrt(1 - r^2)), as caustica's
        if tol is not None:
            vbm.Tol = tol
        return vbm

    def per_call(method, a1=0.0, tol=None):
        def for_rho(rho):
            vbm = engine(a1, tol)
            f = getattr(vbm, method)
            return lambda c: [f(x, rho) for x in c.u_list]
        return for_rho

    def light_curve_entry(a1):
        def for_rho(rho):
            vbm = engine(a1)
            # Its own trajectory: parameters [ln u0, ln tE, t0, ln rho], u = sqrt(u0^2 + t^2).
            return lambda c: vbm.ESPLLightCurve([math.log(c.impact * rho), 0.0, 0.0, math.log(rho)], c.t_list)[0]
        return for_rho

    return [
        Contender(f"VBMicrolensing {version} ESPLMag (one call per point)", "disk", per_call("ESPLMag")),
        Contender(f"VBMicrolensing {version} ESPLLightCurve (array)", "disk", light_curve_entry(0.0), cap=10**5,
                  key="ESPLLightCurve"),
        Contender(f"VBMicrolensing {version} ESPLMagDark, default Tol", "ld", per_call("ESPLMagDark", LINEAR_LD), cap=10**5),
        Contender(f"VBMicrolensing {version} ESPLMagDark, Tol=1e-6", "ld", per_call("ESPLMagDark", LINEAR_LD, 1e-6), cap=5),
        Contender(f"VBMicrolensing {version} ESPLLightCurve a1=0.6 (array)", "ld", light_curve_entry(LINEAR_LD), cap=10**5,
                  key="ESPLLightCurve a1"),
    ]

