'''A desktop's screen-saver service on the session bus, as its screen locker runs it.

Which one is named by the environment variable VIGILOR_SCREENSAVER (org.freedesktop.ScreenSaver,
org.gnome.ScreenSaver, org.mate.ScreenSaver, org.cinnamon.ScreenSaver or org.xfce.ScreenSaver); its object
path is made from the name, as each of them does. Lock() locks, SetActive(b) locks or unlocks, and each
says so with ActiveChanged; GetActive() tells the state. Cinnamon's Lock takes the message to show; MATE's
never answers (here: only after 3 s, longer than a caller waits).
'''

import os

BUS_NAME = os.environ.get('VIGILOR_SCREENSAVER', 'org.freedesktop.ScreenSaver')
MAIN_OBJ = '/' + BUS_NAME.replace('.', '/')
MAIN_IFACE = BUS_NAME
SYSTEM_BUS = False


def load(mock, parameters):
    mock.active = False
    become = ('self.active = {0}\n'
              'self.EmitSignal("' + MAIN_IFACE + '", "ActiveChanged", "b", [self.active])')
    mock.AddMethods(MAIN_IFACE, [
        ('GetActive', '', 'b', 'ret = self.active'),
        ('Lock', 's' if BUS_NAME == 'org.cinnamon.ScreenSaver' else '', '',
         become.format('True') + ('\nimport time\ntime.sleep(3)' if BUS_NAME == 'org.mate.ScreenSaver' else '')),
        ('SetActive', 'b', '', become.format('bool(args[0])')),
    ])
