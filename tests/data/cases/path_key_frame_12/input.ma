//Maya ASCII 4.0 scene
requires maya "4.0";
playbackOptions -min 12 -max 12 -animationStartTime 12;
createNode resolution -n "TrackerResolution";
	setAttr ".w" 720;
	setAttr ".h" 576;
	setAttr ".dar" 1.33333;
createNode transform -n "VoodooCam";
	setAttr ".t" -type "double3" 0 0 0 ;
createNode animCurveTL -n "VoodooCam_translateX";
	setAttr -s 1 ".ktv[0:0]" 12 0.5 ;
createNode animCurveTL -n "VoodooCam_translateY";
	setAttr -s 1 ".ktv[0:0]" 12 1.25 ;
createNode animCurveTL -n "VoodooCam_translateZ";
	setAttr -s 1 ".ktv[0:0]" 12 -3 ;
createNode animCurveTA -n "VoodooCam_rotateX";
	setAttr -s 1 ".ktv[0:0]" 12 2.5 ;
createNode animCurveTA -n "VoodooCam_rotateY";
	setAttr -s 1 ".ktv[0:0]" 12 10.25 ;
createNode animCurveTA -n "VoodooCam_rotateZ";
	setAttr -s 1 ".ktv[0:0]" 12 4 ;
//Tracker export -fps 25
